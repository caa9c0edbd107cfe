#!/usr/bin/env bash
# Builds and runs the whole test suite: a normal build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure_tools.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPSXDIG_WERROR=ON >/dev/null
cmake --build build-test -j "$jobs"
ctest --test-dir build-test -j "$jobs" --output-on-failure

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPSXDIG_SANITIZE=ON -DPSXDIG_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j "$jobs" --output-on-failure

#!/usr/bin/env bash
# Checks report.html in headless Chromium through WebDriver (tools/check_report.py):
# the page of a generated disc with hostile file names, with and without
# JavaScript. Leaves a screenshot in build/report.png.
#   tools/check_report.sh            the checks
#   tools/check_report.sh bench [N]  size and opening time of a page of N items (10000)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure_tools.sh --no-recommends chromium:chromium chromedriver:chromium-driver \
  /usr/lib/python3/dist-packages/selenium/__init__.py:python3-selenium

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPSXDIG_WERROR=ON >/dev/null
cmake --build build-test -j "$(nproc 2>/dev/null || echo 2)" --target psxdig psxdig_mkimage >/dev/null
mkdir -p build
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "${1:-}" = bench ]; then
  /usr/bin/python3 tools/check_report.py bench "$PWD/build-test/psxdig" "$work" "${2:-10000}"
else
  /usr/bin/python3 tools/check_report.py check "$PWD/build-test/psxdig" "$PWD/build-test/psxdig_mkimage" \
    "$work" "$PWD/build/report.png"
  echo "report checks passed"
fi

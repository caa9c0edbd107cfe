#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs each for a while on a corpus
# seeded from the image generator.
#   tools/fuzz.sh [seconds per target] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
tools/ensure_tools.sh clang++:clang,libclang-rt-dev
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DPSXDIG_FUZZ=ON -DPSXDIG_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$(nproc 2>/dev/null || echo 2)"
work=build-fuzz/corpus
rm -rf "$work/seeds"
mkdir -p "$work/seeds"
build-fuzz/fuzz_seeds "$work/seeds"  # one folder per target
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for exe in build-fuzz/*_fuzz; do targets+=("$(basename "$exe")"); done
fi
status=0
for t in "${targets[@]}"; do
  mkdir -p "$work/$t" "$work/$t.artifacts"
  # Inputs that once failed are kept in fuzz/regressions/<target> and rerun first.
  extra=()
  [ -d "fuzz/regressions/$t" ] && extra+=("$PWD/fuzz/regressions/$t")
  echo "== $t: ${seconds}s"
  if ! (cd "$work/$t.artifacts" && "../../$t" "../$t" "../seeds/$t" "${extra[@]}" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=65536 \
        -close_fd_mask=3 -print_final_stats=1 2>&1 | grep -E '^(stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|.*deadly signal|.*Test unit written)'); then
    :
  fi
  if ls "$work/$t.artifacts" | grep -qE '^(crash|timeout|oom|leak)-'; then
    echo "!! $t found a failing input: $work/$t.artifacts"
    status=1
  fi
done
exit $status

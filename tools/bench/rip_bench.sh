#!/usr/bin/env bash
# Times a whole rip of a generated image on disk.
#   tools/bench/rip_bench.sh [MiB] [bench|bench-banks]
# (default 512 MiB of sequences; bench-banks: VAB headers whose bodies all
# lie at the end, the slowest case of the body search; needs a configured build/)
set -euo pipefail
cd "$(dirname "$0")/../.."
mib=${1:-512}
kind=${2:-bench}
cmake --build build --target psxdig psxdig_mkimage >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/psxdig_mkimage "$kind" "$work/bench.bin" "$mib"
start=$(date +%s.%N)
build/psxdig rip "$work/bench.bin" 0 1000000 >/dev/null
end=$(date +%s.%N)
awk -v k="$kind" -v s="$start" -v e="$end" -v m="$mib" \
  'BEGIN { t = e - s; printf "rip (" k "): %d MiB in %.2f s = %.1f MB/s\n", m, t, m * 1.048576 / t }'
echo "files written: $(ls "$work" | wc -l)"

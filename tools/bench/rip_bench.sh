#!/usr/bin/env bash
# Times a whole rip of a generated image on disk.
#   tools/bench/rip_bench.sh [MiB]   (default 512; needs a configured build/)
set -euo pipefail
cd "$(dirname "$0")/../.."
mib=${1:-512}
cmake --build build --target psxdig psxdig_mkimage >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/psxdig_mkimage bench "$work/bench.bin" "$mib"
start=$(date +%s.%N)
build/psxdig rip "$work/bench.bin" 0 1000000 >/dev/null
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" -v m="$mib" \
  'BEGIN { t = e - s; printf "rip: %d MiB in %.2f s = %.1f MB/s\n", m, t, m * 1.048576 / t }'
echo "files written: $(ls "$work" | wc -l)"

#!/usr/bin/env bash
# Builds psxdig, generates the demo image and rips it with /c.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure_tools.sh
cmake -S . -B build -G Ninja -DPSXDIG_TESTS=ON >/dev/null
cmake --build build --target psxdig psxdig_mkimage
rm -rf demo && mkdir demo
build/psxdig_mkimage demo demo/demo.bin --list
build/psxdig rip demo/demo.bin 0 1000 /c
echo
echo "== files written beside demo/demo.bin =="
ls -l demo demo/demo.bin_DupFiles 2>/dev/null || true
echo
echo "== demo/demo.bin.csv =="
cat demo/demo.bin.csv
for f in demo/demo.bin_Error.txt demo/demo.bin_DupFiles.txt demo/demo.bin_VagOfs.txt; do
  [ -f "$f" ] && { echo; echo "== $f =="; cat "$f"; }
done
exit 0

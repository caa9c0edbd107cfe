#!/usr/bin/env bash
# Benchmarks of rip and dec on large generated images, as a user runs them.
#   tools/bench/bench.sh [runs] [work folder]
# Generates (with psxdig_mkimage) a 512 MiB disc-like image, two 64 MiB
# images with 200 and with 1 VAB header whose bodies are absent, and a
# 256 MiB dec image of one release, the 512 MiB image as raw 2352-byte
# sectors (588 MiB) and a 256 MiB raw image of XA audio sectors (extract on
# the mixed image, the raw one and the XA one). Runs psxdig on each `runs` times (5 by
# default), each time right after one mapped pass over the same file
# (psxdig_mapped_pass: maps the file and reads every byte), and prints the
# median times (psxdig's also as user + system CPU time), their ratio and the
# peak resident memory (/usr/bin/time -v). Last, the render speed of a dense
# generated song in multiples of real time (psxdig_render_bench).
# Each run writes fresh files: the previous run's outputs are deleted and
# flushed to disk before it. One further run per image samples the process's
# anonymous memory (RssAnon in /proc) every few milliseconds for its peak.
# Needs a configured build/ (the targets are built here).
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-5}
work=${2:-$(mktemp -d)}
mkdir -p "$work"
tools/ensure_tools.sh /usr/bin/time:time
cmake --build build --target psxdig psxdig_mkimage psxdig_mapped_pass psxdig_render_bench >/dev/null
bin=$PWD/build

make_image() {  # name, generator arguments (the output path is put in place of OUT)
  local name=$1; shift
  mkdir -p "$work/$name"
  local out=$work/$name/$name.bin
  [ -f "$out" ] && return
  local args=()
  for a in "$@"; do [ "$a" = OUT ] && args+=("$out") || args+=("$a"); done
  "$bin/psxdig_mkimage" "${args[@]}"
}
make_image mixed512 bench-mixed OUT 512
make_image absent200 bench-absent OUT 64 200
make_image absent1 bench-absent OUT 64 1
make_image dec256 bench-dec 10037 OUT 256
make_image raw512 bench-raw OUT 512
make_image xa256 bench-xa OUT 256

clean() {  # deletes everything but the image in a case's folder and flushes
  find "$work/$1" -mindepth 1 ! -name "$1.bin" -exec rm -rf {} +
  sync
}

timed() {  # prints "<elapsed s> <peak RSS KiB> <user + system s>" of a command
  local log=$work/time.txt start end
  start=$EPOCHREALTIME
  /usr/bin/time -v -o "$log" "$@" >/dev/null 2>&1 || true
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" -F': ' '/Maximum resident set size/ { rss = $2 }
              /User time|System time/ { cpu += $2 }
              END { printf "%.3f %d %.2f\n", e - s, rss, cpu }' "$log"
}

peak_anon() {  # peak RssAnon (KiB) of a command, sampled
  "$@" >/dev/null 2>&1 &
  local pid=$! peak=0 line
  while [ -r "/proc/$pid/status" ]; do
    while read -r line; do
      case $line in RssAnon:*) line=${line#RssAnon:}; line=${line% kB}; line=${line// /}
        [ -n "$line" ] && [ "$line" -gt "$peak" ] && peak=$line ;; esac
    done 2>/dev/null < "/proc/$pid/status" || true
    sleep 0.002
  done
  wait "$pid" || true
  echo "$peak"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A result
run_case() {  # name, psxdig arguments after the command word (IMG for the image)
  local name=$1 cmd=$2; shift 2
  local img=$work/$name/$name.bin
  local args=()
  for a in "$@"; do [ "$a" = IMG ] && args+=("$img") || args+=("$a"); done
  local passes=() times=() cpus=() rss=0 p t m c
  for ((r = 0; r < runs; r++)); do
    clean "$name"
    read -r p _ _ < <(timed "$bin/psxdig_mapped_pass" "$img")
    read -r t m c < <(timed "$bin/psxdig" "$cmd" "${args[@]}")
    passes+=("$p"); times+=("$t"); cpus+=("$c"); [ "$m" -gt "$rss" ] && rss=$m
  done
  clean "$name"
  local anon; anon=$(peak_anon "$bin/psxdig" "$cmd" "${args[@]}")
  clean "$name"
  local tp; tp=$(printf '%s\n' "${passes[@]}" | median)
  local tr; tr=$(printf '%s\n' "${times[@]}" | median)
  local tc; tc=$(printf '%s\n' "${cpus[@]}" | median)
  result[$name]=$tr
  awk -v n="$name" -v c="$cmd" -v mib="$(( $(stat -c %s "$img") >> 20 ))" -v tr="$tr" -v tp="$tp" \
      -v tc="$tc" -v rss="$rss" -v anon="$anon" -v all="${times[*]}" \
    'BEGIN { printf "| %-9s | %-3s | %4d MiB | %6.3f s | %5.2f s | %6.3f s | %5.2f | %4.0f MiB | %5.1f MiB | %s |\n",
             n, c, mib, tr, tc, tp, tr / tp, rss / 1024, anon / 1024, all }'
}

echo "Machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -1); load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "| image     | cmd | size     | psxdig   | its CPU | mapped pass | ratio | peak RSS | peak anon | psxdig runs (s) |"
echo "|-----------|-----|----------|----------|---------|-------------|-------|----------|-----------|-----------------|"
run_case mixed512 rip IMG 0 100000
run_case absent200 rip IMG 0 100000
run_case absent1 rip IMG 0 100000
run_case dec256 dec IMG 10037
# extract on the same file data as a plain image and as raw 2352-byte sectors,
# and on raw sectors that are almost all XA audio (eight streams decoded).
run_case mixed512 extract -q -o "$work/mixed512" IMG
run_case raw512 extract -q -o "$work/raw512" IMG
run_case xa256 extract -q -o "$work/xa256" IMG
awk -v a="${result[absent200]}" -v b="${result[absent1]}" \
  'BEGIN { printf "200 absent bodies / 1 absent body: %.2f\n", a / b }'
"$bin/psxdig_render_bench" "$runs"
awk -v a="${result[raw512]}" -v b="${result[mixed512]}" \
  'BEGIN { printf "extract raw sectors / the same data plain: %.2f\n", a / b }'
echo "images in $work"

#!/usr/bin/env bash
# Cross-builds psxdig.exe for 64-bit Windows with MinGW-w64 (statically
# linked) into build-win and tests it under Wine: the unit and end-to-end
# suites, then rips of generated images compared file by file and byte by
# byte with the Linux binary's, and the report line of a missing input.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tools/ensure_tools.sh x86_64-w64-mingw32-g++-posix:mingw-w64,g++-mingw-w64-x86-64-posix wine:wine,wine64 \
  /usr/src/googletest/googletest/CMakeLists.txt:googletest
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DPSXDIG_WERROR=ON >/dev/null
# (-O2 as the Linux builds: GCC 12 at -O3 warns falsely of overlapping copies
# inside std::string, and warnings are errors here.)
cmake --build build-win -j "$jobs" --target psxdig psxdig_mkimage psxdig_tests
if x86_64-w64-mingw32-objdump -p build-win/psxdig.exe | grep -iE 'DLL Name: lib(stdc|gcc|winpthread)'; then
  echo "psxdig.exe needs MinGW runtime DLLs" >&2
  exit 1
fi

# The Linux binaries to compare with: those of the test build when it is there.
linux=build-test
[ -f "$linux/CMakeCache.txt" ] || linux=build
[ -f "$linux/CMakeCache.txt" ] || cmake -S . -B "$linux" -G Ninja -DPSXDIG_WERROR=ON >/dev/null
cmake --build "$linux" -j "$jobs" --target psxdig psxdig_mkimage

# A private Wine prefix, made once; no window system needed.
export WINEPREFIX="$root/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w
fi

# Linux programs started from inside Wine are neither waited for nor give
# their exit code, so the ISO of the extract test's disc folder is made here.
rm -rf build-win/disc
"$linux/psxdig_mkimage" disc-folder build-win/disc/src >/dev/null
genisoimage -quiet -V PSXDIG -XA -o build-win/disc/d.iso build-win/disc/src
PSXDIG_TEST_DISC_ISO=$(winepath -w "$root/build-win/disc/d.iso")
export PSXDIG_TEST_DISC_ISO

echo "== unit and end-to-end tests under Wine =="
(cd build-win && wine ./psxdig_tests.exe --gtest_brief=1)

scratch=$root/build-win/compare
rm -rf "$scratch"
mkdir -p "$scratch/linux" "$scratch/windows"
"$linux/psxdig_mkimage" demo "$scratch/linux/demo.bin" >/dev/null
"$linux/psxdig_mkimage" dec-demo "$scratch/linux/dec.bin" >/dev/null
cp build-win/disc/d.iso "$scratch/linux/"
cp "$scratch/linux/demo.bin" "$scratch/linux/dec.bin" "$scratch/linux/d.iso" "$scratch/windows/"

# Runs one command line in both folders with each binary; console output and
# exit code go beside the folders as <side>-<name>.{out,err,rc}.
run_both() {
  local name=$1 rc
  shift
  rc=0
  (cd "$scratch/linux" && "$root/$linux/psxdig" "$@") >"$scratch/linux-$name.out" 2>"$scratch/linux-$name.err" || rc=$?
  echo "$rc" >"$scratch/linux-$name.rc"
  rc=0
  (cd "$scratch/windows" && wine "$root/build-win/psxdig.exe" "$@") >"$scratch/windows-$name.out" \
    2>"$scratch/windows-$name.err" || rc=$?
  echo "$rc" >"$scratch/windows-$name.rc"
}

# Console text without what differs by design: the banner's architecture and
# build date, the time stamps, and the CR of Windows' text-mode line ends.
console() { sed -e 's/\r$//' -e '2d' -e 's/^\(Start\|End\): .*/\1:/' "$1"; }

echo "== rips and extracts by psxdig.exe and by the Linux binary compared =="
run_both rip rip demo.bin 0 1000 /c
run_both dec dec dec.bin 10037 /c
for name in rip dec; do
  cmp "$scratch/linux-$name.rc" "$scratch/windows-$name.rc"
  diff <(console "$scratch/linux-$name.out") <(console "$scratch/windows-$name.out")
  diff <(console "$scratch/linux-$name.err") <(console "$scratch/windows-$name.err")
done
# extract's summary names the output folder with the system's separator.
run_both extract extract --convert demo.bin d.iso -o out
cmp "$scratch/linux-extract.rc" "$scratch/windows-extract.rc"
for stream in out err; do
  diff "$scratch/linux-extract.$stream" <(tr -d '\r' <"$scratch/windows-extract.$stream" | tr '\\' /)
done
diff <(cd "$scratch/linux" && find . | sort) <(cd "$scratch/windows" && find . | sort)
files=0
while IFS= read -r f; do
  cmp "$scratch/linux/$f" "$scratch/windows/$f"
  files=$((files + 1))
done < <(cd "$scratch/linux" && find . -type f | sort)
echo "$files files identical: $(cd "$scratch/linux" && find . -type f | sort | tr '\n' ' ')"

echo "== a missing input =="
run_both missing rip missing.bin 0 100
[ "$(cat "$scratch/linux-missing.rc")" = 1 ]
[ "$(cat "$scratch/windows-missing.rc")" = 1 ]
# The same function and source line as on Linux, with Windows' code 2 and the
# system's own text for it, printed as it comes (its CR LF included) through a
# text-mode stderr. Wine words it otherwise than Windows; both are accepted.
line=$(sed -n 's/^\[F:exec\]\[L:\([0-9]*\)\] GetLastError: 2, No such file or directory$/\1/p' \
  "$scratch/linux-missing.err")
[ -n "$line" ]
reported=no
for text in "File not found." "The system cannot find the file specified."; do
  printf '[F:exec][L:%s] GetLastError: 2, %s\r\r\n\r\n' "$line" "$text" >"$scratch/expected-missing.err"
  cmp -s "$scratch/expected-missing.err" "$scratch/windows-missing.err" && reported=yes
done
echo "psxdig.exe: $(tr -d '\r' <"$scratch/windows-missing.err" | head -1)"
[ "$reported" = yes ] || { echo "unexpected report for a missing input" >&2; exit 1; }
echo "== Windows build passed =="

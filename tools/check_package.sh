#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it with apt and
# runs the installed psxdig (version, help, man page, the demo rip); also
# checks what `cmake --install` puts into a prefix. Removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure_tools.sh lintian:lintian dpkg-shlibdeps:dpkg-dev file:file

build=build-pkg
# -O2, as Debian builds its packages (GCC 12 at -O3 also warns falsely of
# overlapping copies inside std::string, and warnings are errors here).
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DPSXDIG_TESTS=OFF -DPSXDIG_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

# cmake --install: the binary, the man page and the docs, no generator.
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix/usr" >/dev/null
for f in bin/psxdig share/man/man1/psxdig.1.gz share/doc/psxdig/README.md share/doc/psxdig/LICENSE; do
  [ -f "$prefix/usr/$f" ] || { echo "cmake --install did not install $f" >&2; exit 1; }
done
[ ! -e "$prefix/usr/bin/psxdig_mkimage" ] || { echo "the generator is installed by default" >&2; exit 1; }
cmake --install "$build" --prefix "$prefix/usr" --component generator >/dev/null
[ -x "$prefix/usr/bin/psxdig_mkimage" ] || { echo "the generator component installs nothing" >&2; exit 1; }

(cd "$build" && rm -f psxdig_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/psxdig_*.deb)
echo "== $deb"
dpkg-deb -I "$deb" | sed -n '/Package:/,$p'
echo "== lintian"
lintian --fail-on error "$deb"

echo "== install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
trap 'rm -rf "$prefix"; DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq psxdig >/dev/null 2>&1 || true' EXIT
[ "$(command -v psxdig)" = /usr/bin/psxdig ]
psxdig --version
psxdig --help >/dev/null
MANWIDTH=80 man -l /usr/share/man/man1/psxdig.1.gz | head -n 5
man -w psxdig >/dev/null

echo "== demo rip with the installed binary"
demo="$prefix/demo"
mkdir -p "$demo"
"$build"/psxdig_mkimage demo "$demo/demo.bin" >/dev/null 2>&1 || cmake --build "$build" --target psxdig_mkimage >/dev/null
"$build"/psxdig_mkimage demo "$demo/demo.bin" >/dev/null
psxdig rip "$demo/demo.bin" 0 1000 /c >/dev/null
rows=$(($(wc -l < "$demo/demo.bin.csv") - 1))
[ "$rows" -gt 0 ] || { echo "the installed psxdig found nothing in the demo image" >&2; exit 1; }
echo "installed psxdig ripped $rows items from the demo image"
echo "package check passed"

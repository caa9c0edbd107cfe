#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing (Debian
# packages): compiler and build tools, GoogleTest, the modern commands'
# libraries (libFLAC for render --flac), man-db for the man page test, and the disc tools the disc image
# tests check our images with. A script that needs more names it:
#   tools/ensure_tools.sh [--no-recommends] CHECK:PACKAGE[,PACKAGE...] ...
# where CHECK is a command on the PATH or an absolute path that must exist.
set -euo pipefail
recommends=()
if [ "${1:-}" = --no-recommends ]; then
  recommends=(--no-install-recommends)
  shift
fi
# genisoimage (with isoinfo) builds and lists ISO 9660 images, bchunk turns
# raw images back into ISOs.
needs=(cmake:cmake ninja:ninja-build g++:g++ pkg-config:pkg-config
       /usr/include/gtest/gtest.h:libgtest-dev,googletest /usr/include/CLI/CLI.hpp:libcli11-dev
       /usr/include/nlohmann/json.hpp:nlohmann-json3-dev /usr/include/xxhash.h:libxxhash-dev
       /usr/include/FLAC/stream_encoder.h:libflac-dev
       man:man-db genisoimage:genisoimage bchunk:bchunk "$@")
missing=()
for need in "${needs[@]}"; do
  check=${need%%:*}
  packages=${need#*:}
  if [ "${check:0:1}" = / ]; then
    [ -e "$check" ] && continue
  else
    command -v "$check" >/dev/null && continue
  fi
  IFS=, read -r -a list <<<"$packages"
  missing+=("${list[@]}")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${recommends[@]}" "${missing[@]}" >/dev/null
fi

#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing (Debian
# packages): compiler and build tools, GoogleTest, the modern commands'
# libraries, man-db for the man page test, and the disc tools the disc image
# tests check our images with.
set -euo pipefail
missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v ninja >/dev/null || missing+=(ninja-build)
command -v g++ >/dev/null || missing+=(g++)
command -v pkg-config >/dev/null || missing+=(pkg-config)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev googletest)
[ -f /usr/include/CLI/CLI.hpp ] || missing+=(libcli11-dev)
[ -f /usr/include/nlohmann/json.hpp ] || missing+=(nlohmann-json3-dev)
[ -f /usr/include/xxhash.h ] || missing+=(libxxhash-dev)
command -v man >/dev/null || missing+=(man-db)
# genisoimage (with isoinfo) builds and lists ISO 9660 images, bchunk turns
# raw images back into ISOs.
command -v genisoimage >/dev/null || missing+=(genisoimage)
command -v bchunk >/dev/null || missing+=(bchunk)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

#!/usr/bin/env bash
# Installs what the build needs when it is missing (Debian packages).
set -euo pipefail
missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v ninja >/dev/null || missing+=(ninja-build)
command -v g++ >/dev/null || missing+=(g++)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev googletest)
# The modern commands' libraries.
[ -f /usr/include/CLI/CLI.hpp ] || missing+=(libcli11-dev)
[ -f /usr/include/nlohmann/json.hpp ] || missing+=(nlohmann-json3-dev)
[ -f /usr/include/xxhash.h ] || missing+=(libxxhash-dev)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# Disc image tests: genisoimage (with isoinfo) builds and lists ISO 9660
# images, bchunk turns raw images back into ISOs.
disc_tools=()
command -v genisoimage >/dev/null || disc_tools+=(genisoimage)
command -v bchunk >/dev/null || disc_tools+=(bchunk)
if [ ${#disc_tools[@]} -gt 0 ]; then
  echo "installing: ${disc_tools[*]}" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${disc_tools[@]}" >/dev/null
fi

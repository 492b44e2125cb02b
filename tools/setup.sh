#!/usr/bin/env bash
# Installs what building and testing Prelivo needs on Debian 12, as root.
# Quick when everything is there already.
set -eu
packages=(
  cmake g++ make googletest libbenchmark-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64
  wine wine32:i386 wine64
  xvfb xdotool xclip x11-utils fonts-wqy-microhei fonts-wine imagemagick
  clang libclang-rt-14-dev time
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

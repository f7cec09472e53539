#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (as root),
# when it is missing. Safe to run again.
set -euo pipefail

packages=(mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386
          xvfb xauth x11-apps imagemagick cmake googletest lzma-dev libz-mingw-w64-dev python3 openssl xz-utils
          libvulkan1 mesa-vulkan-drivers) # Direct3D 12 under Wine needs a Vulkan loader and driver

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

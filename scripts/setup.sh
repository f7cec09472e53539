#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (as root),
# when it is missing. Safe to run again.
set -euo pipefail

packages=(mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386
          xvfb xauth x11-apps imagemagick cmake googletest lzma-dev libz-mingw-w64-dev python3 openssl xz-utils fonts-liberation
          nginx curl
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
  # A mirror in the middle of a sync fails one index now and then: the lists that
  # did arrive are enough for these packages, so go on and let the install say.
  apt-get -o DPkg::Lock::Timeout=600 update -q ||
    echo "apt-get update reported errors; installing from the package lists it has"
  # The demo runs nginx itself, as the current user: its package must not
  # start or enable a system service (on port 80).
  no_services=
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
    chmod +x /usr/sbin/policy-rc.d
    no_services=1
  fi
  status=0
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q "${missing[@]}" || status=$?
  if [ "$status" != 0 ]; then
    # The 32-bit packages must match their 64-bit twins version for version; when
    # one architecture's list of updates did not arrive, take both from the
    # release itself.
    release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ -n "$release" ]; then
      echo "Installing again from the $release release's own packages"
      status=0
      DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q -t "$release" \
          "${missing[@]}" || status=$?
    fi
  fi
  if [ -n "$no_services" ]; then
    rm -f /usr/sbin/policy-rc.d
  fi
  if [ "$status" != 0 ]; then
    exit "$status"
  fi
  if [[ " ${missing[*]} " == *" nginx "* ]] && command -v systemctl >/dev/null &&
     systemctl is-enabled nginx >/dev/null 2>&1; then
    systemctl disable -q nginx || true
  fi
fi

# The embedded browser's runtime (a 64-bit Windows build from the npm
# registry), laid out as a launcher's runtime folder "CEF3_1\V5\" below the
# build folder, where the browser tests and the demo run the launcher.
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
runtime="$build/cef/CEF3_1/V5"
if [ ! -f "$runtime/libcef.dll" ]; then
  # Debian's npm, unless a Node.js with its own npm is there already.
  if ! command -v npm >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q npm
  fi
  npm install --prefix "$build/npm" --ignore-scripts --no-audit --no-fund --no-save --loglevel=error \
      chromium@3.2171.3008
  package="$build/npm/node_modules/chromium/bin/win"
  mkdir -p "$runtime"
  cp -r "$package"/*.pak "$package"/icudtl.dat "$package"/natives_blob.bin "$package"/snapshot_blob.bin \
        "$package"/libEGL.dll "$package"/libGLESv2.dll "$package"/d3dcompiler_47.dll "$package"/locales "$runtime/"
  cp "$package/libcef.dll" "$runtime/libcef.dll"
fi

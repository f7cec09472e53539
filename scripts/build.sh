#!/usr/bin/env bash
# Configures and builds both trees: build/x64 (Launcher and its tests) and
# build/x86 (FaultCourier and its tests). BUILD_DIR overrides "build".
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
jobs=$(nproc)
for arch in x64 x86; do
  if [ ! -f "$build/$arch/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-$arch.cmake" \
          -DTEST_ROOT="$build" >/dev/null
  fi
  cmake --build "$build/$arch" -j"$jobs" "$@"
done

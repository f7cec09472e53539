#!/usr/bin/env bash
# Configures and builds both trees: build/x64 (Launcher and its tests) and
# build/x86 (FaultCourier and its tests). BUILD_DIR overrides "build".
# "--demo" builds only the programs that scripts/demo.sh runs or serves.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
jobs=$(nproc)
configure() { # tree toolchain-arch [cmake options]
  local tree=$1 arch=$2
  shift 2
  if [ ! -f "$build/$tree/CMakeCache.txt" ]; then
    local cache=()
    if command -v ccache >/dev/null; then
      cache=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$here" -B "$build/$tree" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-$arch.cmake" \
          -DTEST_ROOT="$build" "${cache[@]}" "$@" >/dev/null
  fi
}
configure x64 x64
configure x86 x86
trees=(x64 x86)
# Where 32-bit programs cannot run, FaultCourier's tests run from a 64-bit
# build of its tree (build/fc64); the 32-bit tree is still built.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  configure fc64 x64 -DFAULTCOURIER_TREE=ON
  trees+=(fc64)
fi
if [ "${1:-}" = --demo ]; then
  cmake --build "$build/x64" -j"$jobs" --target Launcher interface_archive game_standin certinstall launcher_driver
  cmake --build "$build/x86" -j"$jobs" --target FaultCourier
  exit 0
fi
for tree in "${trees[@]}"; do
  cmake --build "$build/$tree" -j"$jobs" "$@"
done

#!/usr/bin/env bash
# Benchmark of FaultCourier's zip attachment under Wine: a crash folder with
# a 25 MiB ".cfg" (cut to 20 MiB, comment runs taken out) through the whole
# attach path into the report body. BUILD_DIR overrides "build"
# (X86_BUILD_DIR its 32-bit tree).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
x86=${X86_BUILD_DIR:-$build/x86}

cmake --build "$x86" --target bench_attach >/dev/null
export TEST_ROOT="$build"
source "$here/scripts/wine_env.sh"
wine_env_prepare

for _ in 1 2 3; do
  wine "$x86/bench_attach.exe"
done

#!/usr/bin/env bash
# Benchmark of the content update end to end under Wine against the local
# test server, beside curl + xz -d + md5sum on the same objects. Not a test:
# it prints figures. BUILD_DIR overrides "build"; BENCH_OBJECTS and
# BENCH_SIZE_MIB the release (default 16 objects of 8 MiB).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export TEST_ROOT=${BUILD_DIR:-$here/build}
source "$here/scripts/wine_env.sh"
wine_env_prepare
args=(python3 "$here/scripts/bench_content.py" --build "$TEST_ROOT"
  --objects "${BENCH_OBJECTS:-16}" --size-mib "${BENCH_SIZE_MIB:-8}")
if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" "${args[@]}"
else
  "${args[@]}"
fi

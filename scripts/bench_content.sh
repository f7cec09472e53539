#!/usr/bin/env bash
# Benchmark of the content update end to end under Wine against the demo
# release served by nginx, beside curl + xz -d + md5sum on the same objects
# from the same nginx (see scripts/bench_content.py). Not a test: it prints
# figures. BUILD_DIR overrides "build"; "--content-mib N" benchmarks a
# release of about N MiB (for example 2048) instead of the demo's;
# "--files N[,M...]" (default 8000, 0 for none) adds releases of that many
# files shaped as a game's, for the per-file costs of install and verify.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/demo_prepare.sh" bench
run=(python3 "$here/scripts/bench_content.py" --build "$TEST_ROOT" "$@")
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}"
fi
exec "${run[@]}"

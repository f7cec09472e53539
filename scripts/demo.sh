#!/usr/bin/env bash
# The launcher's main job under Wine against a local copy of the maker's
# servers (nginx on 127.0.0.1): builds what the run needs and the demo
# release, then runs Launcher.exe (see scripts/demo.py). Without a DISPLAY
# the run is driven on a virtual display and leaves a screenshot of each page
# in build/demo/screenshots. Arguments go to the launcher.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# The demo's own prefix: its settings, downloads and agreements stay apart
# from the tests'.
source "$here/scripts/demo_prepare.sh" demo
run=(python3 "$here/scripts/demo.py" --build "$TEST_ROOT")
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}" --driven -- "$@"
fi
exec "${run[@]}" -- "$@"

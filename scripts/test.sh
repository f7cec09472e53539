#!/usr/bin/env bash
# Builds both trees and runs every test under Wine, with one virtual display
# and one wine server for the whole run. Installs what is missing first.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export TEST_ROOT=${BUILD_DIR:-$here/build}
bash "$here/scripts/setup.sh"
BUILD_DIR=$TEST_ROOT bash "$here/scripts/build.sh"
source "$here/scripts/wine_env.sh"
wine_env_prepare

if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" bash "$here/scripts/run_tests.sh"
else
  bash "$here/scripts/run_tests.sh"
fi

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

run_all() {
  wineserver -p 300
  local rc=0
  ctest --test-dir "$TEST_ROOT/x64" --output-on-failure --timeout 900 || rc=1
  ctest --test-dir "$TEST_ROOT/x86" --output-on-failure --timeout 900 || rc=1
  wineserver -k || true
  return $rc
}
export -f run_all
export here
if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c run_all
else
  run_all
fi

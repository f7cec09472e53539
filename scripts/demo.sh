#!/usr/bin/env bash
# Builds the launcher and runs its main job under Wine against the bundled
# local test servers, then prints the launcher's log.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export TEST_ROOT=${BUILD_DIR:-$here/build}
bash "$here/scripts/setup.sh"
BUILD_DIR=$TEST_ROOT bash "$here/scripts/build.sh"
source "$here/scripts/wine_env.sh"
wine_env_prepare
exec python3 "$here/scripts/demo.py" --build "$TEST_ROOT" "$@"

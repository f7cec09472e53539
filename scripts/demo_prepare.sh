# Sourced by the demo and the content benchmark with the name of their own
# folder under the build folder: installs what is missing, builds the
# programs and the demo's tools, and prepares a Wine prefix of their own in
# that folder, apart from the tests'. BUILD_DIR overrides "build".
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export TEST_ROOT=${BUILD_DIR:-$here/build}
bash "$here/scripts/setup.sh"
BUILD_DIR=$TEST_ROOT bash "$here/scripts/build.sh" --demo
source "$here/scripts/wine_env.sh"
export WINEPREFIX="$TEST_ROOT/$1/wine"
wine_env_prepare

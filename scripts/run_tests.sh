#!/usr/bin/env bash
# Runs ctest in both trees with one wine server kept alive for the whole
# run (each Wine start is then cheap). Expects TEST_ROOT and a DISPLAY.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine_env.sh"
wineserver -p 300
# Start Wine's background processes now, away from ctest's output pipes.
wineboot > /dev/null 2>&1 < /dev/null
rc=0
ctest --test-dir "$TEST_ROOT/x64" --output-on-failure --timeout 900 || rc=1
ctest --test-dir "$TEST_ROOT/x86" --output-on-failure --timeout 900 || rc=1
wineserver -k 2>/dev/null || true
exit $rc

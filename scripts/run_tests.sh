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
if [ "$WINE_RUNS_32BIT" = 1 ]; then
  ctest --test-dir "$TEST_ROOT/x86" --output-on-failure --timeout 900 || rc=1
else
  echo "This machine cannot run 32-bit programs: FaultCourier's tests run in its 64-bit build."
  ctest --test-dir "$TEST_ROOT/fc64" --output-on-failure --timeout 900 || rc=1
fi
wineserver -k 2>/dev/null || true
exit $rc

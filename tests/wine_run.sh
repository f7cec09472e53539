#!/usr/bin/env bash
# ctest's emulator: runs one Windows test program under Wine, with the local
# test server started for it and stopped after it. TEST_ROOT names the build
# folder that holds the prefix and the test CA.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
TEST_ROOT=${TEST_ROOT:-$(cd "$(dirname "$1")/.." && pwd)}
export TEST_ROOT
source "$here/scripts/wine_env.sh"
wine_env_prepare

work=$(mktemp -d)
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
python3 "$here/tests/server/testserver.py" --ports-file "$work/ports" \
  --cert "$TEST_ROOT/testca/localhost.pem" --max-seconds 1800 &
server=$!
for _ in $(seq 1 100); do
  [ -s "$work/ports" ] && break
  sleep 0.1
done
read -r TEST_HTTP_PORT TEST_HTTPS_PORT TEST_OTHER_HTTPS_PORT < "$work/ports" || { echo "test server did not start"; exit 1; }
export TEST_HTTP_PORT TEST_HTTPS_PORT TEST_OTHER_HTTPS_PORT

# Wine's background processes (services, the desktop) outlive the test and
# inherit its output; ctest would wait for them to close its pipe. So the
# program writes to a file that is shown when it ends.
output="$work/output"
# A test may ask for the Unix locale Wine takes its system language from.
locale=()
[ -n "${TEST_WINE_LOCALE:-}" ] && locale=(env "LC_ALL=$TEST_WINE_LOCALE")
# The program gets its own bound below ctest's (900 s an area), so that a
# test that hangs ends as one red run that shows what ran and where it
# stopped, instead of a run killed with its output unseen.
bound=${TEST_PROGRAM_SECONDS:-865}
bounded=(timeout -k 20 "$bound")
# Shortly before the bound, where every thread of every program still
# running waits is written down, so that a hang shows its cause, not only
# its test. (Wine's own services are left out.)
lead=$(( bound > 120 ? 40 : bound / 3 ))
(
  trap 'kill $nap 2>/dev/null; exit 0' TERM
  sleep $((bound - lead)) & nap=$!
  wait $nap
  timeout 30 wine winedbg --command "bt all" 2>&1 < /dev/null | awk '
    /^Backtracing for thread/ { keep = $0 !~ /\\(services|winedevice|plugplay|svchost|rpcss|start|conhost|winedbg)\.exe/ }
    keep' > "$work/backtraces"
) &
watchdog=$!
if [ -z "${DISPLAY:-}" ]; then
  "${bounded[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" "${locale[@]}" wine "$@" > "$output" 2>&1 < /dev/null
else
  "${bounded[@]}" "${locale[@]}" wine "$@" > "$output" 2>&1 < /dev/null
fi
rc=$?
kill $watchdog 2>/dev/null
wait $watchdog 2>/dev/null
cat "$output"
if [ $rc = 124 ] || [ $rc = 137 ]; then
  echo "FAILED: $(basename "$1") did not end within $bound s; the test it was running:"
  grep -a '^\[ RUN      \]' "$output" | tail -1
  if [ -s "$work/backtraces" ]; then
    echo "Where the threads of the programs still running waited $lead s before the bound:"
    cat "$work/backtraces"
  fi
  # What the program started (launchers, games, dialogs) goes with it.
  wineserver -k 2>/dev/null || true
  rc=1
fi
exit $rc

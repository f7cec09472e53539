#!/usr/bin/env bash
# Sourced: the private Wine prefix of a build folder, created on first use,
# with the test CA in its Root store. Expects TEST_ROOT (the build folder).
: "${TEST_ROOT:?}"
export WINEPREFIX="$TEST_ROOT/wine"
export WINEDEBUG=-all
# No Mono or Gecko install prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
_wine_src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

wine_env_prepare() {
  (
    exec 9>"$TEST_ROOT/.wine.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/.ready" ]; then
      mkdir -p "$WINEPREFIX"
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w
      touch "$WINEPREFIX/.ready"
    fi
    bash "$_wine_src/scripts/make_test_ca.sh" "$TEST_ROOT/testca" >/dev/null
    if [ ! -f "$WINEPREFIX/.ca-installed" ] || ! cmp -s "$WINEPREFIX/.ca-installed" "$TEST_ROOT/testca/ca.der"; then
      if [ -f "$TEST_ROOT/x64/certinstall.exe" ]; then
        wine "$TEST_ROOT/x64/certinstall.exe" "$(winepath -w "$TEST_ROOT/testca/ca.der")" &&
          cp "$TEST_ROOT/testca/ca.der" "$WINEPREFIX/.ca-installed"
      fi
    fi
  )
}

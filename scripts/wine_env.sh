#!/usr/bin/env bash
# Sourced: the private Wine prefix of a build folder, created on first use,
# with the test CA in its Root store. Expects TEST_ROOT (the build folder).
: "${TEST_ROOT:?}"
export WINEPREFIX="$TEST_ROOT/wine"
export WINEDEBUG=-all
# No Mono or Gecko install prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
_wine_src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Some machines cannot execute 32-bit Linux programs at all, Wine's 32-bit
# loader among them; Debian's "wine" script would still pick that loader.
# There every Wine command goes through the 64-bit loader, and 32-bit Windows
# programs cannot run (FaultCourier's tests then run in a 64-bit build).
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  export WINE_RUNS_32BIT=1
else
  export WINE_RUNS_32BIT=0
  _wine_bin="$TEST_ROOT/winebin"
  if [ ! -x "$_wine_bin/wine-stable" ]; then
    mkdir -p "$_wine_bin"
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' > "$_wine_bin/wine"
    chmod +x "$_wine_bin/wine"
    ln -sf wine "$_wine_bin/wine-stable"
  fi
  case ":$PATH:" in *":$_wine_bin:"*) ;; *) export PATH="$_wine_bin:$PATH" ;; esac
fi

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
    # The browser runtime lays out its first page with these faces; the
    # prefix has none of them, so they map to the Liberation fonts.
    if [ ! -f "$WINEPREFIX/.font-replacements" ]; then
      for face in "Times New Roman=Liberation Serif" "Arial=Liberation Sans" "Courier New=Liberation Mono"; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${face%%=*}" /t REG_SZ /d "${face#*=}" /f \
          >/dev/null 2>&1
      done
      touch "$WINEPREFIX/.font-replacements"
    fi
    # Drive S: (the build share the "-local..." switches read) is a folder of
    # the build tree.
    mkdir -p "$TEST_ROOT/build_share"
    ln -sfn "$TEST_ROOT/build_share" "$WINEPREFIX/dosdevices/s:"
    bash "$_wine_src/scripts/make_test_ca.sh" "$TEST_ROOT/testca" >/dev/null
    if [ ! -f "$WINEPREFIX/.ca-installed" ] || ! cmp -s "$WINEPREFIX/.ca-installed" "$TEST_ROOT/testca/ca.der"; then
      if [ -f "$TEST_ROOT/x64/certinstall.exe" ]; then
        wine "$TEST_ROOT/x64/certinstall.exe" "$(winepath -w "$TEST_ROOT/testca/ca.der")" &&
          cp "$TEST_ROOT/testca/ca.der" "$WINEPREFIX/.ca-installed"
      fi
    fi
    # A wine server started here without a display would serve the windows
    # of the programs started next (under xvfb-run) without a display driver:
    # it must end first.
    if [ -z "${DISPLAY:-}" ]; then
      wineserver -w
    fi
  )
}

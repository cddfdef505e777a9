#!/usr/bin/env bash
# Runs a command with Wine set up for the Windows build's programs:
#   tools/wine-env.sh COMMAND [ARG...]
# A Wine prefix of the build's own (build-windows/wineprefix unless WINEPREFIX names another),
# made once by wineboot on first use. Headless: no display is needed or used (DISPLAY empty,
# Wine's null display driver, no Gecko or Mono installs, Wine's own messages off). Works as root. One Wine server (and one set
# of Wine's services) serves every program the command starts and ends a minute after the last.
set -euo pipefail
source "$(dirname "$0")/usage.sh" 1 "$@"
top=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$top/build-windows/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
# Wine reads command lines and file names in the locale's character set: UTF-8 here.
export LC_ALL=C.UTF-8
export WINEARCH=win64
# Some Debian releases install only "wine" or only "wine64" on the path.
wine=$(command -v wine || command -v wine64 || true)
[[ -n "$wine" ]] || { echo "Wine is not installed (apt-get install wine wine64)" >&2; exit 1; }

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    mkdir -p "$WINEPREFIX"
    echo "== Making the Wine prefix $WINEPREFIX" >&2
    started=$SECONDS
    "$wine" wineboot --init >/dev/null 2>&1
    wineserver -w  # the prefix is complete once its first server has ended
    echo "== Wine prefix made in $((SECONDS - started)) s" >&2
fi
# Wine's null display driver: windows exist (Qt makes hidden ones even on its offscreen
# platform) without an X server. Set once per prefix; tools/screenshot.sh uses a prefix of its
# own with a display.
if [[ ! -f "$WINEPREFIX/.fogbell-null-display" ]]; then
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.fogbell-null-display"
fi
# (Exits 2 when a server of this prefix is running already: that one serves.)
wineserver -p60 </dev/null >/dev/null 2>&1 || true  # detached from the caller's output
# Wine's own services start with the first program and live as long as the server. Started
# here, with no output of the caller: were a test program first, they would hold its output
# open, and ctest would wait for them as if the test were still running.
"$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
exec "$@"

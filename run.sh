#!/usr/bin/env bash
# Sets up what is missing, builds, and starts Fogbell.
#   ./run.sh            builds, then opens the window (build/bin/fogbell)
#   ./run.sh FILE       ... and opens that container, or plays that audio file, in the window
#   ./run.sh ARGS...    builds, then runs fogbell-cli ARGS (e.g. ./run.sh list music.afs)
# Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) the window cannot open: the script
# says so, shows how to use fogbell-cli instead and exits with status 1.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
tools/build.sh default >&2

bin="$top/build/bin"
# One argument naming an existing file opens it in the window; anything else is for fogbell-cli.
if [[ $# -gt 1 || ( $# -eq 1 && ! -f "$1" ) ]]; then
    exec "$bin/fogbell-cli" "$@"
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    cat >&2 <<TEXT
No display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so Fogbell's window cannot open.
The command-line program does the same work:

  ./run.sh formats                      bound plug-ins and the extensions they read
  ./run.sh list FILE.afs                tracks with length and format
  ./run.sh extract FILE.afs -o DIR      every track as stored
  ./run.sh wav FILE.afs -o DIR          every playable track as a 16-bit PCM WAVE file
  ./run.sh --help                       everything else ($bin/fogbell-cli)
TEXT
    exit 1
fi
exec "$bin/fogbell" "$@"

#!/usr/bin/env bash
# Sets up what is missing, builds, and starts Fogbell.
#   ./run.sh            builds, then opens the window on the demo archive the build writes
#                       (build/demo/mistvale_sound.afs)
#   ./run.sh FILE       ... and opens that container, or plays that audio file, in the window
#   ./run.sh ARGS...    builds, then runs fogbell-cli ARGS (e.g. ./run.sh list music.afs)
# Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) the window cannot open: with no
# argument the script lists the demo archive with fogbell-cli and shows how to play and save
# from it (status 0); with a FILE it says so and exits with status 1.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
tools/build.sh default >&2

bin="$top/build/bin"
demo="$top/build/demo/mistvale_sound.afs"
shown=build/demo/mistvale_sound.afs  # the demo archive as named from this folder
# One argument naming an existing file opens it in the window; anything else is for fogbell-cli.
if [[ $# -gt 1 || ( $# -eq 1 && ! -f "$1" ) ]]; then
    exec "$bin/fogbell-cli" "$@"
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    if [[ $# -eq 0 && -f "$demo" ]]; then
        cat <<TEXT
No display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so Fogbell's window cannot open.
The demo archive the build wrote holds these tracks (name, length in bytes, format):

TEXT
        "$bin/fogbell-cli" list "$demo"
        cat <<TEXT

The command-line program plays and saves them (DIR: a folder of yours). A track, until its end
or Ctrl+C; every playable track as a WAVE file; every track as stored; everything else:

  ./run.sh play $shown bgm_title.adx
  ./run.sh wav $shown -o DIR
  ./run.sh extract $shown -o DIR
  ./run.sh --help
TEXT
        exit 0
    fi
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
if [[ $# -eq 0 && -f "$demo" ]]; then
    exec "$bin/fogbell" "$demo"
fi
exec "$bin/fogbell" "$@"

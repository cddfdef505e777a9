#!/usr/bin/env bash
# Sets up what is missing, builds, and starts Fogbell.
#   ./run.sh            builds, then starts the program
#   ./run.sh ARGS...    builds, then runs fogbell-cli ARGS (e.g. ./run.sh list music.afs)
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
tools/build.sh default >&2

bin="$top/build/bin"
if [[ $# -gt 0 ]]; then
    exec "$bin/fogbell-cli" "$@"
fi
echo "Built in $bin:"
( cd "$bin" && find . -type f \( -name '*.so' -o -perm -u+x \) | sed 's|^\./|  |' | sort )
echo "Try: ./run.sh --help   or   ./run.sh list FILE.afs"

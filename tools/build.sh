#!/usr/bin/env bash
# Configures (when needed) and builds one preset: tools/build.sh [default|asan|tsan|fuzz|windows]
set -euo pipefail
source "$(dirname "$0")/usage.sh" 0 "$@"
preset=${1:-default}
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
[[ "$preset" != windows ]] || export FOGBELL_SKIP_WINDOWS=0  # its packages are needed
"$top/tools/ensure-deps.sh"
if [[ "$preset" == windows ]]; then
    # libsamplerate, GoogleTest and CLI11 for Windows, built once from Debian's sources.
    "$top/tools/build-windows-deps.sh" "$top/build-windows/deps"
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -- -j"$(nproc)"

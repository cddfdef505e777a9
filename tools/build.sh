#!/usr/bin/env bash
# Configures (when needed) and builds one preset: tools/build.sh [default|asan|tsan]
set -euo pipefail
preset=${1:-default}
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/tools/ensure-deps.sh"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -- -j"$(nproc)"

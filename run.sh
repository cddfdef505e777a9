#!/usr/bin/env bash
# Sets up what is missing, builds, and starts Fogbell.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
tools/build.sh default >&2

bin="$top/build/bin"
echo "Built in $bin:"
( cd "$bin" && find . -type f \( -name '*.so' -o -perm -u+x \) | sed 's|^\./|  |' | sort )

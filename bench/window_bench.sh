#!/bin/sh
# The window on AFS archives of 100,000 and 1,000,000 ADX members: open time, "select all" time
# and resident memory (bench/window_bench.cpp).
#   bench/window_bench.sh [build directory]
set -eu
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for members in 100000 1000000; do
    "$build/bin/window_bench" make "$members" "$work/many.afs"
    "$build/bin/window_bench" open "$members" "$work/many.afs"
    rm -f "$work/many.afs"
done

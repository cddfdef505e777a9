#!/usr/bin/env bash
# Runs fogbell-cli of the Linux build (build/) and fogbell-cli.exe of the Windows build
# (build-windows/, under Wine) on the same sample containers, and fails unless "list",
# "extract", "wav" and "replace" give the same output and the same files, byte for byte.
#   tools/compare-windows-cli.sh [LINUX_BUILD_DIR] [WINDOWS_BUILD_DIR]
# Wine is set up as tools/wine-env.sh sets it up (run this through it for a fresh prefix).
set -euo pipefail
source "$(dirname "$0")/usage.sh" 0 "$@"
top=$(cd "$(dirname "$0")/.." && pwd)
linux_build=${1:-$top/build}
windows_build=${2:-$top/build-windows}
linux_build=$(cd "$linux_build" && pwd)  # the commands run in other folders
windows_build=$(cd "$windows_build" && pwd)
export LC_ALL=C.UTF-8 WINEPREFIX=${WINEPREFIX:-$windows_build/wineprefix} WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=

work=$(mktemp -d "${TMPDIR:-/tmp}/fogbell-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/samples"
"$linux_build/tests/fogbell_sample_containers" "$work/samples"

# run SIDE ARGS...: one command of one build, in that side's copy of the samples; its output
# and exit status are kept in the side's folder.
run() {
    local side=$1
    shift
    local status=0
    if [[ "$side" == linux ]]; then
        (cd "$work/linux" && "$linux_build/bin/fogbell-cli" "$@") >>"$work/$side.out" \
            2>>"$work/$side.err" || status=$?
    else
        (cd "$work/windows" && wine "$windows_build/bin/fogbell-cli.exe" "$@") \
            >>"$work/$side.out" 2>>"$work/$side.err" || status=$?
    fi
    echo "$* -> $status" >>"$work/$side.out"
}

for side in linux windows; do
    cp -r "$work/samples" "$work/$side"
    for container in music.aix voices.afs speech.pac scenes.mvx; do
        run "$side" list "$container"
        run "$side" list "$container" --json
        mkdir -p "$work/$side/x-$container" "$work/$side/w-$container"
        run "$side" extract "$container" -o "x-$container"
        run "$side" wav "$container" -o "w-$container"
    done
    mkdir -p "$work/$side/nested"
    run "$side" wav "voices.afs::hello.adx" -o nested
    run "$side" replace speech.pac "Track 0.wav" new.wav
    run "$side" replace voices.afs hello.adx new.wav  # a WAVE file encoded to the track's ADX
    run "$side" extract voices.afs hello.adx $'caf\xC3\xA9 \xE6\x97\xA5.adx' -o nested
    run "$side" replace scenes.mvx intro.xmd new.xmd
    run "$side" list speech.pac
done

# Paths in messages are relative to each side's folder, so outputs compare as they are, but for
# the separator each system writes between an output folder and a file's name.
for stream in out err; do
    sed -E -i 's#^((x|w)-[^/\\]+|nested)\\#\1/#' "$work/windows.$stream"
done
status=0
for stream in out err; do
    if ! cmp -s "$work/linux.$stream" "$work/windows.$stream"; then
        echo "What the two wrote to std$stream differs:" >&2
        diff "$work/linux.$stream" "$work/windows.$stream" >&2 || true
        status=1
    fi
done
if ! diff -r "$work/linux" "$work/windows" >&2; then
    status=1
fi
files=$(find "$work/linux" -type f | wc -l)
if [[ $status -eq 0 ]]; then
    echo "fogbell-cli on Linux and fogbell-cli.exe under Wine wrote the same $files files"
fi
exit $status

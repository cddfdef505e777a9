#!/usr/bin/env bash
# check_rooms.sh ROOT: every include in ROOT/text/ and ROOT/host/ names its own room or a room on
# a lower floor (the order of host/CMakeLists.txt), never one above it nor a sibling on the same
# floor; a room missing from the table below is reported too, so that a new room gets its floor.
# check_rooms.sh --self-test: the check finds an upward and a sibling include in a small tree.
set -euo pipefail

declare -A floor=(
    [text]=0
    [system]=1 [encode]=1 [controls]=1 [loops]=1 [loudness]=1
    [plugins]=2
    [audio]=3
    [containers]=4 [tracks]=4
    [app]=5
    [playback]=6
    [window]=7
)

# room_of PATH: the room a path relative to the root lies in (text, or host/ROOM's ROOM).
room_of() {
    case $1 in
        text/*) echo text ;;
        host/*/*) local rest=${1#host/}; echo "${rest%%/*}" ;;
        *) echo "" ;;
    esac
}

# check ROOT: prints each include that runs up or sideways; fails when there is one.
check() {
    local root=$1 bad=0 file room line target included
    while IFS= read -r file; do
        room=$(room_of "${file#"$root"/}")
        if [[ -z "${floor[$room]:-}" ]]; then
            echo "${file#"$root"/}: room '$room' has no floor in tests/check_rooms.sh"
            bad=1
            continue
        fi
        while IFS=: read -r line included; do
            target=$(room_of "$included")
            [[ -n "$target" && "$target" != "$room" ]] || continue
            if [[ -z "${floor[$target]:-}" ]] || ((floor[$target] >= floor[$room])); then
                echo "${file#"$root"/}:$line: $room (floor ${floor[$room]}) includes $included" \
                    "(floor ${floor[$target]:-none})"
                bad=1
            fi
        done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
            sed -E 's|^([0-9]+):[^"]*"([^"]+)".*|\1:\2|')
    done < <(find "$root/text" "$root/host" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
    return $bad
}

if [[ "${1:-}" == --self-test ]]; then
    tree=$(mktemp -d)
    trap 'rm -rf "$tree"' EXIT
    mkdir -p "$tree/text" "$tree/host/system" "$tree/host/audio" "$tree/host/tracks"
    echo '#include "host/app/main_core.h"' >"$tree/host/system/up.cpp"
    printf '#pragma once\n\n#include "host/containers/track_conversion.h"\n' \
        >"$tree/host/tracks/side.h"
    printf '#include "host/plugins/plugin_host.h"\n#include "text/ascii_text.h"\n' \
        >"$tree/host/audio/down.cpp"
    if found=$(check "$tree"); then
        echo "the check passed a tree with an upward and a sibling include"
        exit 1
    fi
    if [[ "$found" != *"host/system/up.cpp:1: system"* ||
        "$found" != *"host/tracks/side.h:3: tracks"* || "$found" == *down.cpp* ]]; then
        printf 'the check reported:\n%s\n' "$found"
        exit 1
    fi
    exit 0
fi

check "${1:?usage: $0 ROOT | --self-test}"

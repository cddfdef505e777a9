#!/usr/bin/env bash
# check_rooms.sh ROOT: every include in ROOT/text/ and ROOT/host/ names its own room or a room on
# a lower floor (the order of host/CMakeLists.txt), never one above it nor a sibling on the same
# floor; a room missing from the table below is reported too, so that a new room gets its floor.
# The plug-ins (ROOT/plugins/) include the text library and nothing else of the host's tree. No
# source in ROOT/host/, ROOT/cli/ or ROOT/plugins/ uses the C library's character functions,
# which follow the process's locale: names are folded and classified by text/ascii_text.h.
# check_rooms.sh --self-test: the checks find an upward and a sibling include, a plug-in's include
# of the host and a locale-dependent case function in a small tree.
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

# sources ROOT FOLDER...: the C and C++ sources under the folders of ROOT that exist.
sources() {
    local root=$1 folder
    shift
    for folder in "$@"; do
        [[ ! -d "$root/$folder" ]] ||
            find "$root/$folder" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \)
    done | sort
}

# check_plugins ROOT: prints each include of a plug-in that reaches into the host or the command
# line; fails when there is one.
check_plugins() {
    local root=$1 found
    found=$(sources "$root" plugins | xargs -r grep -HnE \
        '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(host|cli)/' || true)
    [[ -z "$found" ]] || { echo "${found//"$root"\//}"; return 1; }
}

# check_locale ROOT: prints each use of a locale-dependent character function (the <cctype> and
# <cwctype> families) in host/, cli/ and plugins/; fails when there is one.
check_locale() {
    local root=$1 found
    local classes='alnum|alpha|blank|cntrl|digit|graph|lower|print|punct|space|upper|xdigit'
    local calls="(tow?(lower|upper)|isw?($classes))"
    found=$(sources "$root" host cli plugins | xargs -r grep -HnE \
        -e '#[[:space:]]*include[[:space:]]*<(cctype|ctype\.h|cwctype|wctype\.h)>' \
        -e "(^|[^[:alnum:]_.>])(std::)?$calls[[:space:]]*\\(" || true)
    [[ -z "$found" ]] || { echo "${found//"$root"\//}"; return 1; }
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
    mkdir -p "$tree/plugins/explore" "$tree/cli"
    printf '#include "text/utf8_text.h"\n#include "host/system/native_path.h"\n' \
        >"$tree/plugins/explore/reach.cpp"
    printf '#include <cctype>\nchar a = ToLowerAscii(c);\nchar b = std::tolower(c);\n' \
        >"$tree/cli/fold.cpp"
    printf 'bool d = IsAsciiDigit(c) && isdigit (c);\n' >"$tree/host/audio/digit.cpp"
    if found=$(check_plugins "$tree"; check_locale "$tree"); then
        echo "the checks passed a plug-in that includes the host and locale-dependent folding"
        exit 1
    fi
    if [[ "$found" != *"plugins/explore/reach.cpp:2:"* || "$found" == *"reach.cpp:1:"* ||
        "$found" != *"cli/fold.cpp:1:"* || "$found" != *"cli/fold.cpp:3:"* ||
        "$found" == *"cli/fold.cpp:2:"* || "$found" != *"host/audio/digit.cpp:1:"* ]]; then
        printf 'the checks reported:\n%s\n' "$found"
        exit 1
    fi
    exit 0
fi

root=${1:?usage: $0 ROOT | --self-test}
status=0
check "$root" || status=1
check_plugins "$root" || status=1
check_locale "$root" || status=1
exit $status

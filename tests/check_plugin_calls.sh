#!/usr/bin/env bash
# check_plugin_calls.sh ROOT: no code in ROOT/host/, ROOT/cli/ or ROOT/bench/ calls a plug-in's
# entry point (fnSomething(...)) except the plug-in host's binding files: host/plugins/
# plugin_host.*, plugin_records.h and plugin_session*. Everything else goes through the typed
# sessions, which hold the plug-in's lock and read its error text under it. Comments may name
# entry points.
# check_plugin_calls.sh --self-test: the check finds a call in a small tree and passes a comment
# and a session file.
set -euo pipefail

# allowed PATH: whether the path (relative to the root) is one of the binding files.
allowed() {
    case $1 in
        host/plugins/plugin_host.* | host/plugins/plugin_records.h | host/plugins/plugin_session*)
            return 0 ;;
        *) return 1 ;;
    esac
}

# check ROOT: prints each call outside the binding files; fails when there is one.
check() {
    local root=$1 bad=0 file relative line code
    while IFS= read -r file; do
        relative=${file#"$root"/}
        allowed "$relative" && continue
        while IFS=: read -r line code; do
            code=${code%%//*}  # the code before a line comment
            if [[ "$code" =~ (^|[^A-Za-z0-9_\"])fn[A-Z][A-Za-z0-9_]*[[:space:]]*\( ]]; then
                echo "$relative:$line: calls a plug-in entry point outside the sessions"
                bad=1
            fi
        done < <(grep -nE 'fn[A-Z][A-Za-z0-9_]*[[:space:]]*\(' "$file" || true)
    done < <(find "$root/host" "$root/cli" "$root/bench" -type f \
        \( -name '*.h' -o -name '*.cpp' \) 2>/dev/null | sort)
    return $bad
}

if [[ "${1:-}" == --self-test ]]; then
    tree=$(mktemp -d)
    trap 'rm -rf "$tree"' EXIT
    mkdir -p "$tree/host/plugins" "$tree/host/tracks" "$tree/cli"
    printf 'int n = record.fnGetDamagedCount(handle);\n' >"$tree/host/tracks/stray.cpp"
    printf 'auto list = plugin->fnGetListFiles (handle);\n' >"$tree/cli/stray.cpp"
    printf '// fnGetListFiles(handle) is named here only\n' >"$tree/host/tracks/note.cpp"
    printf 'char** names = explorer.fnGetListFiles(handle_);\n' \
        >"$tree/host/plugins/plugin_session_more.cpp"
    if found=$(check "$tree"); then
        echo "the check passed a tree with calls outside the sessions"
        exit 1
    fi
    if [[ "$found" != *"host/tracks/stray.cpp:1:"* || "$found" != *"cli/stray.cpp:1:"* ||
        "$found" == *note.cpp* || "$found" == *plugin_session_more* ]]; then
        printf 'the check reported:\n%s\n' "$found"
        exit 1
    fi
    exit 0
fi

check "${1:?usage: $0 ROOT | --self-test}"

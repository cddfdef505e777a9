#!/usr/bin/env bash
# check_exports.sh LIBRARY NAME...: the library's defined dynamic symbols (a .dll's exports) are
# exactly NAME... (ignoring the linker's version node), so nothing but its entry points leaves a
# plug-in. Also checks that the library is staged as it is installed: in explore_plugins/ or
# decode_plugins/, named without a "lib" prefix.
set -euo pipefail
library=$1
shift
folder=$(basename "$(dirname "$library")")
file=$(basename "$library")
if [[ "$folder" != explore_plugins && "$folder" != decode_plugins ]] || [[ "$file" == lib* ]]; then
    echo "$library is not staged as explore_plugins/NAME or decode_plugins/NAME"
    exit 1
fi
if [[ "$library" == *.dll ]]; then
    # A Windows library: the names of its export table.
    actual=$("${FOGBELL_OBJDUMP:-x86_64-w64-mingw32-objdump}" -p "$library" \
        | awk '/^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
               table && /^[[:space:]]*\[/ { print $NF; next }
               table { table = 0 }' | sort)
else
    actual=$(nm -D --defined-only "$library" | awk '{print $3}' | grep -v -E '^(VERS_|_init$|_fini$)' \
        | grep -v -E '^$' | sort)
fi
expected=$(printf '%s\n' "$@" | sort)
if [[ "$actual" != "$expected" ]]; then
    echo "Exports of $library differ from the expected list:"
    diff <(echo "$expected") <(echo "$actual") || true
    exit 1
fi
echo "$library exports exactly: $*"

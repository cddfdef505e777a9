#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test through ctest: first the normal build,
# then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, then the Windows
# build (MinGW-w64) with its tests under Wine and a comparison of its fogbell-cli.exe with the
# Linux one. Exits non-zero on any failure. FOGBELL_SKIP_ASAN=1 leaves out the sanitizer build.
# The Windows part runs with FOGBELL_SKIP_WINDOWS=0; it is skipped by default until its whole
# suite has passed under Wine on CI.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"

presets=(default)
[[ "${FOGBELL_SKIP_ASAN:-0}" == 1 ]] || presets+=(asan)

for preset in "${presets[@]}"; do
    echo "== Build ($preset)"
    tools/build.sh "$preset"
    echo "== Test ($preset)"
    ctest --preset "$preset" -j"$(nproc)"
done

export FOGBELL_SKIP_WINDOWS=${FOGBELL_SKIP_WINDOWS:-1}
if [[ "$FOGBELL_SKIP_WINDOWS" != 1 ]]; then
    started=$SECONDS
    echo "== Build (windows)"
    tools/build.sh windows
    echo "== Test (windows, under Wine)"
    # A Wine prefix of the build's own, made once, headless.
    export WINEPREFIX="$top/build-windows/wineprefix" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
    [[ -f "$WINEPREFIX/system.reg" ]] || wineboot --init >/dev/null 2>&1 || true
    wineserver -p 60  # one server for every test program, gone a minute after the last
    ctest --preset windows -j"$(nproc)"
    tools/compare-windows-cli.sh "$top/build" "$top/build-windows"
    echo "== Windows part: $((SECONDS - started)) s"
fi

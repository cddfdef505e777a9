#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test through ctest: first the normal build,
# then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, then the tests that
# start threads (ctest label "threads") under ThreadSanitizer, then a short, bounded run of every
# fuzz target (the fuzz preset: clang, libFuzzer); long fuzz campaigns are tools/fuzz-campaign.sh.
# Last the Windows build (MinGW-w64 cross build) with its tests under Wine, a comparison of its
# fogbell-cli.exe with the Linux one on the same containers, its zip package run from an empty
# folder, and its installer run, checked and uninstalled in a fresh Wine prefix. (The Debian
# package is checked by a test of the normal build, package.deb.)
# Exits non-zero on any failure. FOGBELL_SKIP_ASAN=1 skips the AddressSanitizer build,
# FOGBELL_SKIP_TSAN=1 the ThreadSanitizer build, FOGBELL_SKIP_FUZZ=1 the fuzz runs,
# FOGBELL_SKIP_WINDOWS=1 the Windows build and its runs under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"

presets=(default)
[[ "${FOGBELL_SKIP_ASAN:-0}" == 1 ]] || presets+=(asan)

# Each part says how long it took, so that the suite's time can be kept within CI's budget.
for preset in "${presets[@]}"; do
    started=$SECONDS
    echo "== Build ($preset)"
    tools/build.sh "$preset"
    echo "== Test ($preset)"
    ctest --preset "$preset" -j"$(nproc)"
    echo "== $preset: $((SECONDS - started)) s"
done

if [[ "${FOGBELL_SKIP_TSAN:-0}" != 1 ]]; then
    started=$SECONDS
    echo "== Build (tsan)"
    tools/build.sh tsan
    echo "== Test (tsan, label threads)"
    ctest --preset tsan -L threads -j"$(nproc)"
    echo "== tsan: $((SECONDS - started)) s"
fi

if [[ "${FOGBELL_SKIP_FUZZ:-0}" != 1 ]]; then
    started=$SECONDS
    echo "== Build (fuzz)"
    tools/build.sh fuzz
    echo "== Fuzz (short runs of every target)"
    ctest --preset fuzz -j"$(nproc)"
    echo "== fuzz: $((SECONDS - started)) s"
fi

# The Windows packages (MinGW-w64, Wine) are installed by tools/ensure-deps.sh only when wanted.
export FOGBELL_SKIP_WINDOWS=${FOGBELL_SKIP_WINDOWS:-0}
if [[ "$FOGBELL_SKIP_WINDOWS" != 1 ]]; then
    started=$SECONDS
    echo "== Build (windows)"
    tools/build.sh windows
    echo "== Test (windows, under Wine)"
    tools/wine-env.sh ctest --preset windows -j"$(nproc)"
    echo "== Compare fogbell-cli (Linux) with fogbell-cli.exe (Windows, under Wine)"
    tools/wine-env.sh tools/compare-windows-cli.sh "$top/build" "$top/build-windows"
    echo "== Package (windows): the zip, unpacked into an empty folder, under Wine"
    packages=$(tools/package.sh windows)
    zip=$(grep -- '-win64\.zip$' <<<"$packages")
    tools/wine-env.sh tools/check-windows-zip.sh "$zip" "$top/build"
    echo "== Package (windows): the installer, in a Wine prefix of its own"
    tools/check-windows-installer.sh "$(grep -- '-setup\.exe$' <<<"$packages")"
    echo "== Windows part: $((SECONDS - started)) s"
fi

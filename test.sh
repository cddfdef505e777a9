#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test through ctest: first the normal build,
# then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, then the tests that
# start threads (ctest label "threads") under ThreadSanitizer.
# Exits non-zero on any failure. FOGBELL_SKIP_ASAN=1 skips the AddressSanitizer build,
# FOGBELL_SKIP_TSAN=1 the ThreadSanitizer build.
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

if [[ "${FOGBELL_SKIP_TSAN:-0}" != 1 ]]; then
    echo "== Build (tsan)"
    tools/build.sh tsan
    echo "== Test (tsan, label threads)"
    ctest --preset tsan -L threads -j"$(nproc)"
fi

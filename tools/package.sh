#!/usr/bin/env bash
# Builds Fogbell and makes its package with CPack from the install rules, in dist/:
#   tools/package.sh            fogbell_VERSION_ARCH.deb for Debian 12 (the default build)
#   tools/package.sh windows    Fogbell-VERSION-win64.zip and the installer
#                               Fogbell-VERSION-setup.exe (the windows build)
# Prints the packages' paths last, one a line (the zip before the installer).
set -euo pipefail
source "$(dirname "$0")/usage.sh" 0 "$@"
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

case "${1:-deb}" in
    deb) preset=default build=$top/build ;;
    windows) preset=windows build=$top/build-windows ;;
    *)
        echo "usage: tools/package.sh [deb|windows]" >&2
        exit 2
        ;;
esac

tools/build.sh "$preset" >&2
# The windows build preset builds the tests that run under Wine; the package also needs
# everything that is installed.
cmake --build "$build" --target fogbell_installed -- -j"$(nproc)" >&2

# CPack's own working files stay in the build tree; only the packages go to dist/.
work=$build/package/cpack
rm -rf "$work"
mkdir -p "$work" "$top/dist"
cpack --config "$build/CPackConfig.cmake" -B "$work" >&2
case "$preset" in
    default) wanted=('*.deb') ;;
    windows) wanted=('*-win64.zip' '*-setup.exe') ;;
esac
for pattern in "${wanted[@]}"; do
    package=$(find "$work" -maxdepth 1 -type f -name "$pattern")
    [[ $(wc -l <<<"$package") -eq 1 && -n "$package" ]] || {
        echo "CPack made no single package $pattern in $work" >&2
        exit 1
    }
    mv -f "$package" "$top/dist/"
    echo "$top/dist/$(basename "$package")"
done

#!/usr/bin/env bash
# Builds the libraries the Windows build needs, for Windows, from Debian's own sources:
#   libsamplerate  from its Debian source package (apt-get source libsamplerate0),
#   GoogleTest     from the sources that libgtest-dev installs (/usr/src/googletest).
#   CLI11          header-only, its headers copied from libcli11-dev.
#
#   tools/build-windows-deps.sh PREFIX
#
# Installs them into PREFIX (static libraries, headers, CMake and pkg-config files). A stamp in
# PREFIX names the versions built: a re-run with the same Debian versions does nothing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:?usage: $0 PREFIX}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
toolchain=$top/cmake/mingw-w64-x86_64.cmake

samplerate_version=$(apt-cache policy libsamplerate0-dev | awk '/Installed:/ { print $2 }')
gtest_version=$(dpkg-query -W -f='${Version}' libgtest-dev)
cli11_version=$(dpkg-query -W -f='${Version}' libcli11-dev)
stamp=$prefix/.fogbell-deps
wanted="libsamplerate $samplerate_version; googletest $gtest_version; CLI11 $cli11_version"
if [[ -f "$stamp" && "$(cat "$stamp")" == "$wanted" ]]; then
    exit 0
fi

work=$prefix/.work
rm -rf "$work"
mkdir -p "$work"
jobs=$(nproc)

echo "== Windows dependencies: libsamplerate $samplerate_version from its Debian source" >&2
"$top/tools/enable-deb-src.sh"
(cd "$work" && apt-get source -qq "libsamplerate0=$samplerate_version" >/dev/null 2>&1 ||
    apt-get source -qq libsamplerate0 >/dev/null)
samplerate_src=$(find "$work" -maxdepth 1 -type d -name 'libsamplerate-*' | head -n 1)
[[ -n "$samplerate_src" ]] || { echo "apt-get source libsamplerate0 gave no source" >&2; exit 1; }
cmake -Wno-dev -S "$samplerate_src" -B "$work/samplerate-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF \
    -DLIBSAMPLERATE_EXAMPLES=OFF -DLIBSAMPLERATE_INSTALL=ON >/dev/null
cmake --build "$work/samplerate-build" -- -j"$jobs" >/dev/null
cmake --install "$work/samplerate-build" >/dev/null

echo "== Windows dependencies: GoogleTest $gtest_version from /usr/src/googletest" >&2
cmake -Wno-dev -S /usr/src/googletest -B "$work/gtest-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON \
    -Dgtest_disable_pthreads=OFF >/dev/null
cmake --build "$work/gtest-build" -- -j"$jobs" >/dev/null
cmake --install "$work/gtest-build" >/dev/null

echo "== Windows dependencies: CLI11 (header-only) from libcli11-dev" >&2
# Its own CMake file names /usr/include, which would put this machine's C headers before
# MinGW's: the headers are copied beside the other dependencies with a config of their own.
rm -rf "$prefix/include/CLI"
cp -r /usr/include/CLI "$prefix/include/CLI"
mkdir -p "$prefix/lib/cmake/CLI11"
cat >"$prefix/lib/cmake/CLI11/CLI11Config.cmake" <<'CONFIG'
# CLI11, header-only, copied from libcli11-dev for the Windows build.
if(NOT TARGET CLI11::CLI11)
    add_library(CLI11::CLI11 INTERFACE IMPORTED)
    set_target_properties(CLI11::CLI11 PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "${CMAKE_CURRENT_LIST_DIR}/../../../include")
endif()
CONFIG

rm -rf "$work"
echo "$wanted" >"$stamp"

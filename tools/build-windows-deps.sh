#!/usr/bin/env bash
# Builds the libraries the Windows build needs, for Windows, from Debian's own sources:
#   libsamplerate  from its Debian source package (apt-get source libsamplerate0),
#   GoogleTest     from the sources that libgtest-dev installs (/usr/src/googletest).
#   CLI11          header-only, its headers copied from libcli11-dev,
#   nlohmann/json  header-only (the tests read JSON with it), copied from nlohmann-json3-dev.
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

# The header-only libraries, copied every time (cheap). Their own CMake files name /usr/include,
# which would put this machine's C headers before MinGW's: each gets a config of its own.
# write_if_changed FILE: standard input into FILE, leaving FILE untouched when it holds that
# already (so that neither CMake nor Ninja sees a change).
write_if_changed() {
    local new
    new=$(mktemp)
    cat >"$new"
    if cmp -s "$new" "$1"; then rm -f "$new"; else mv "$new" "$1"; fi
}
copy_headers() {  # copy_headers PACKAGE_NAME CMAKE_TARGET INCLUDE_SUBDIR DEBIAN_PACKAGE
    local name=$1 target=$2 subdir=$3 version
    version=$(dpkg-query -W -f='${Version}' "$4" | sed -E 's/^[0-9]+://; s/[-+~].*//')
    rm -rf "${prefix:?}/include/$subdir"
    mkdir -p "$prefix/include" "$prefix/lib/cmake/$name"
    cp -a "/usr/include/$subdir" "$prefix/include/$subdir"  # timestamps kept: no rebuild
    write_if_changed "$prefix/lib/cmake/$name/${name}Config.cmake" <<CONFIG
# $name, header-only, copied from this machine's Debian package for the Windows build.
if(NOT TARGET $target)
    add_library($target INTERFACE IMPORTED)
    set_target_properties($target PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "\${CMAKE_CURRENT_LIST_DIR}/../../../include")
endif()
CONFIG
    write_if_changed "$prefix/lib/cmake/$name/${name}ConfigVersion.cmake" <<VERSION
set(PACKAGE_VERSION $version)
if(PACKAGE_FIND_VERSION VERSION_GREATER PACKAGE_VERSION)
    set(PACKAGE_VERSION_COMPATIBLE FALSE)
else()
    set(PACKAGE_VERSION_COMPATIBLE TRUE)
endif()
VERSION
}
copy_headers CLI11 CLI11::CLI11 CLI libcli11-dev
copy_headers nlohmann_json nlohmann_json::nlohmann_json nlohmann nlohmann-json3-dev

samplerate_version=$(apt-cache policy libsamplerate0-dev | awk '/Installed:/ { print $2 }')
gtest_version=$(dpkg-query -W -f='${Version}' libgtest-dev)
stamp=$prefix/.fogbell-deps
wanted="libsamplerate $samplerate_version; googletest $gtest_version"
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

rm -rf "$work"
echo "$wanted" >"$stamp"

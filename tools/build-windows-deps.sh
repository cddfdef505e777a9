#!/usr/bin/env bash
# Builds the libraries the Windows build needs, for Windows, from Debian's own sources:
#   Qt 6 (qtbase)  from the qt6-base source package: Core, Gui, Widgets, Network, Test and the
#                  windows platform plug-in (see build_qt below for the recipe),
#   SDL2           from the libsdl2 source package (SDL2.dll: WASAPI, DirectSound, WinMM),
#   libsamplerate  from its Debian source package (apt-get source libsamplerate0),
#   GoogleTest     from the sources that libgtest-dev installs (/usr/src/googletest).
#   CLI11          header-only, its headers copied from libcli11-dev,
#   nlohmann/json  header-only (the tests read JSON with it), copied from nlohmann-json3-dev.
#
#   tools/build-windows-deps.sh PREFIX
#
# libsamplerate, GoogleTest and the headers go into PREFIX (static libraries, headers, CMake and
# pkg-config files); a stamp in PREFIX names the versions built, and a re-run with the same
# Debian versions does nothing. Qt and SDL2 are larger and slower to build: each is kept in the
# machine's cache (FOGBELL_CACHE, else ~/.cache/fogbell), in a folder named by its Debian source
# version and the revision of its recipe here, and linked into PREFIX as qt6/ and sdl2/; later
# runs, from any clone, reuse it. For Qt, a tree built with this recipe and stored in
# ../shared/windows-deps/ beside the checkout (NAME.tar.xz with NAME.tar.xz.sha256) is unpacked
# instead of building when its SHA-256 holds. FOGBELL_QT_FROM_SOURCE=1 builds Qt even then.
# Nothing is ever downloaded but Debian's source packages.
set -euo pipefail
source "$(dirname "$0")/usage.sh" 1 "$@"
top=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:?usage: $0 PREFIX}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
toolchain=$top/cmake/mingw-w64-x86_64.cmake
# Qt and SDL2 are built with the bare compiler settings, none of the project's own.
base_toolchain=$top/cmake/mingw-w64-x86_64-base.cmake
cache=${FOGBELL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/fogbell}
shared_deps=$top/../shared/windows-deps
jobs=$(nproc)

# The recipes' revisions: raise one when its options change, so that a cached tree built with
# the old options is not taken for the new one.
qt_recipe=r1
sdl_recipe=r1

# installed_version PACKAGE: the installed Debian version of a binary package.
installed_version() {
    dpkg-query -W -f='${Version}' "$1"
}

# fetch_source PACKAGE VERSION DIR: the Debian source package unpacked in DIR; prints its
# folder.
fetch_source() {
    local package=$1 version=$2 dir=$3
    "$top/tools/enable-deb-src.sh"
    mkdir -p "$dir"
    (cd "$dir" && apt-get source -qq "$package=$version" >/dev/null 2>&1 ||
        apt-get source -qq "$package" >/dev/null)
    find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n 1
}

# The qtbase recipe: the modules and plug-ins Fogbell uses, everything else off. Debian's
# repacked source leaves out the Wintab header that the windows platform plug-in includes for
# tablet events, hence tabletevent off; in 6.4 that plug-in does not compile without OpenGL,
# hence OpenGL on (Qt loads it at run time). Third-party libraries are Qt's bundled copies.
build_qt() {
    local tree=$1 version=$2 work src
    work=$(mktemp -d "$cache/.qt-build.XXXXXX")
    echo "== Windows dependencies: Qt $version from its Debian source (about 50 minutes on 2 cores)" >&2
    src=$(fetch_source qt6-base "$version" "$work")
    cmake -Wno-dev -S "$src" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$base_toolchain" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_INSTALL_PREFIX="$tree" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DFEATURE_sql=OFF -DFEATURE_opengl=ON \
        -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
        -DFEATURE_testlib=ON -DFEATURE_openssl=OFF -DFEATURE_system_zlib=OFF \
        -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF \
        -DFEATURE_system_libpng=OFF -DFEATURE_system_libjpeg=OFF \
        -DFEATURE_system_doubleconversion=OFF -DFEATURE_icu=OFF -DFEATURE_vulkan=OFF \
        -DFEATURE_sql_sqlite=OFF -DFEATURE_tabletevent=OFF >"$work/configure.log"
    cmake --build "$work/build" -- -j"$jobs" >"$work/build.log"
    cmake --install "$work/build" >/dev/null
    rm -rf "$work"
}

# ensure_qt: the Qt tree for this machine's qt6-base version, from the cache, the shared
# prebuilt tree, or built; linked as PREFIX/qt6.
ensure_qt() {
    local version name tree archive staging
    version=$(installed_version qt6-base-dev)
    name=qt6-base-$version-mingw-w64-x86_64-$qt_recipe
    tree=$cache/$name
    if [[ ! -f "$tree/.fogbell-complete" ]]; then
        rm -rf "$tree"
        staging=$tree.partial
        rm -rf "$staging"
        mkdir -p "$staging"
        archive=$shared_deps/$name.tar.xz
        if [[ "${FOGBELL_QT_FROM_SOURCE:-0}" != 1 && -f "$archive" && -f "$archive.sha256" ]] &&
            (cd "$shared_deps" && sha256sum --check --status "$name.tar.xz.sha256"); then
            echo "== Windows dependencies: Qt $version, the prebuilt tree in $shared_deps" >&2
            tar -xJf "$archive" -C "$staging" --strip-components=1
        else
            [[ -f "$archive" && "${FOGBELL_QT_FROM_SOURCE:-0}" != 1 ]] &&
                echo "== $archive does not match its SHA-256: building Qt instead" >&2
            build_qt "$staging" "$version"
        fi
        touch "$staging/.fogbell-complete"
        mv "$staging" "$tree"
    fi
    ln -sfn "$tree" "$prefix/qt6"
}

# ensure_sdl: SDL2.dll for this machine's libsdl2 version, from the cache or built; linked as
# PREFIX/sdl2. Only the audio back ends matter to Fogbell, but SDL's Windows build needs its
# video part to link; joystick, haptic and sensor input are left out.
ensure_sdl() {
    local version name tree work src
    version=$(installed_version libsdl2-dev)
    name=sdl2-$version-mingw-w64-x86_64-$sdl_recipe
    tree=$cache/$name
    if [[ ! -f "$tree/.fogbell-complete" ]]; then
        echo "== Windows dependencies: SDL2 $version from its Debian source" >&2
        rm -rf "$tree"
        work=$(mktemp -d "$cache/.sdl-build.XXXXXX")
        src=$(fetch_source libsdl2 "$version" "$work")
        cmake -Wno-dev -S "$src" -B "$work/build" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$base_toolchain" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_INSTALL_PREFIX="$tree.partial" -DSDL_SHARED=ON -DSDL_STATIC=OFF \
            -DSDL_TEST=OFF -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF \
            -DSDL_SENSOR=OFF -DSDL_POWER=OFF >"$work/configure.log"
        cmake --build "$work/build" -- -j"$jobs" >"$work/build.log"
        cmake --install "$work/build" >/dev/null
        touch "$tree.partial/.fogbell-complete"
        mv "$tree.partial" "$tree"
        rm -rf "$work"
    fi
    ln -sfn "$tree" "$prefix/sdl2"
}

mkdir -p "$cache"
ensure_qt
ensure_sdl

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

echo "== Windows dependencies: libsamplerate $samplerate_version from its Debian source" >&2
"$top/tools/enable-deb-src.sh"
(cd "$work" && apt-get source -qq "libsamplerate0=$samplerate_version" >/dev/null 2>&1 ||
    apt-get source -qq libsamplerate0 >/dev/null)
samplerate_src=$(find "$work" -maxdepth 1 -type d -name 'libsamplerate-*' | head -n 1)
[[ -n "$samplerate_src" ]] || { echo "apt-get source libsamplerate0 gave no source" >&2; exit 1; }
cmake -Wno-dev -S "$samplerate_src" -B "$work/samplerate-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$base_toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF \
    -DLIBSAMPLERATE_EXAMPLES=OFF -DLIBSAMPLERATE_INSTALL=ON >/dev/null
cmake --build "$work/samplerate-build" -- -j"$jobs" >/dev/null
cmake --install "$work/samplerate-build" >/dev/null

echo "== Windows dependencies: GoogleTest $gtest_version from /usr/src/googletest" >&2
cmake -Wno-dev -S /usr/src/googletest -B "$work/gtest-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$base_toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON \
    -Dgtest_disable_pthreads=OFF >/dev/null
cmake --build "$work/gtest-build" -- -j"$jobs" >/dev/null
cmake --install "$work/gtest-build" >/dev/null

rm -rf "$work"
echo "$wanted" >"$stamp"

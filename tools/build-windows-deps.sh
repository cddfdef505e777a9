#!/usr/bin/env bash
# Builds the libraries the Windows build needs, for Windows, from Debian's own sources:
#   Qt 6 (qtbase)  from the qt6-base source package: Core, Gui, Widgets, Network, Test and the
#                  windows platform plug-in (see build_qt below for the recipe),
#   SDL2           from the libsdl2 source package (SDL2.dll: WASAPI, DirectSound, WinMM),
#   libsamplerate  from its Debian source package (apt-get source libsamplerate0),
#   libsndfile     with its codecs (libogg, libvorbis, libFLAC, Opus, libmpg123, LAME),
#   libebur128     and KissFFT (float), static, each from its Debian source package,
#   GoogleTest     from the sources that libgtest-dev installs (/usr/src/googletest).
#   CLI11          header-only, its headers copied from libcli11-dev,
#   nlohmann/json  header-only (the tests read JSON with it), copied from nlohmann-json3-dev.
#
#   tools/build-windows-deps.sh PREFIX
#
# libsamplerate, GoogleTest and the headers go into PREFIX (static libraries, headers, CMake and
# pkg-config files); a stamp in PREFIX names the versions built, and a re-run with the same
# Debian versions does nothing. Qt, SDL2 and the audio libraries are larger and slower to build:
# each is kept in the machine's cache (FOGBELL_CACHE, else ~/.cache/fogbell), in a folder named
# by its Debian source versions and the revision of its recipe here, and linked into PREFIX as
# qt6/, sdl2/ and audio/; later runs, from any clone, reuse it (a second run that wants a tree
# another is building waits for it). For Qt, a tree built with this recipe and stored in
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
audio_recipe=r1

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
        apt-get source -qq "$package" >/dev/null 2>&1) || unpack_fetched "$package" "$dir"
    find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n 1
}

# unpack_fetched PACKAGE DIR: what apt-get source fetched into DIR, unpacked as dpkg-source does
# it (the upstream tarball, Debian's folder over it, Debian's patches applied in their order),
# for when apt-get gave up over a file the unpacking does without: some mirrors lack the
# upstream tarball's signature, or the Debian part of a package. apt has checked every file it
# fetched against the archive's checksums.
unpack_fetched() {
    local package=$1 dir=$2 orig debian src patch
    orig=$(find "$dir" -maxdepth 1 -name '*.orig.tar.*' ! -name '*.asc' | head -n 1)
    [[ -n "$orig" ]] || { echo "apt-get source $package gave no source" >&2; return 1; }
    mkdir "$dir/.unpack"
    tar -xf "$orig" -C "$dir/.unpack"
    src=$(find "$dir/.unpack" -mindepth 1 -maxdepth 1 -type d | head -n 1)
    debian=$(find "$dir" -maxdepth 1 -name '*.debian.tar.*' | head -n 1)
    if [[ -n "$debian" ]]; then
        tar -xf "$debian" -C "$src"
        if [[ -f "$src/debian/patches/series" ]]; then
            sed -e 's/#.*//' "$src/debian/patches/series" | while read -r patch _; do
                [[ -z "$patch" ]] || patch -s -p1 -d "$src" <"$src/debian/patches/$patch"
            done
        fi
    else
        echo "== $package: the mirror has no Debian part of it; building its upstream source" >&2
    fi
    mv "$src" "$dir/"
    rmdir "$dir/.unpack"
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

# The audio libraries, static, as SOURCE=BINARY: the source package, and the installed binary
# package whose version says which source version to build. libsndfile is built with all its codecs (FLAC, Ogg Vorbis, Opus, MPEG
# through mpg123 and LAME), as Debian's is; KissFFT in its float flavour, as Debian's
# kissfft-float. Only the libraries: no programs, tests, examples or documents.
audio_packages=(libogg=libogg-dev libvorbis=libvorbis-dev flac=libflac-dev opus=libopus-dev
    mpg123=libmpg123-dev lame=libmp3lame0 libsndfile=libsndfile1-dev libebur128=libebur128-dev
    kissfft=libkissfft-dev)

# logged LOG COMMAND...: COMMAND with its output added to LOG, whose end is shown if it fails.
logged() {
    local log=$1
    shift
    "$@" >>"$log" 2>&1 || {
        echo "== failed: $*; the end of $log:" >&2
        tail -n 40 "$log" >&2
        return 1
    }
}

# The libraries one by one: each builds into $tree, with its source and build folder in $work,
# and $versions names the source versions (build_audio's variables). Stack protection and
# fortified string functions stay off: with MinGW they need libssp, which nothing that links
# these libraries would name.

# audio_source PACKAGE: the unpacked Debian source of PACKAGE, of its version in $versions.
audio_source() {
    local version src
    version=$(awk -v package="$1" '$1 == package { print $2 }' <<<"$versions")
    src=$(fetch_source "$1" "$version" "$work/src/$1")
    [[ -d "$src" ]] || { echo "no source of $1 $version" >&2; return 1; }
    echo "$src"
}
# audio_cmake NAME[:TARGET] SOURCE OPTION...: one library built with its CMake files (static,
# Release; only TARGET when named), finding the libraries built before it in $tree and nowhere
# else. The install folders are named because KissFFT's CMake files leave them empty (so "/")
# except on Unix.
audio_cmake() {
    local name=${1%%:*} target=() src=$2
    [[ "$1" != *:* ]] || target=(--target "${1#*:}")
    shift 2
    logged "$work/$name.log" cmake -Wno-dev -S "$src" -B "$work/$name-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$base_toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$tree" -DCMAKE_PREFIX_PATH="$tree" -DCMAKE_FIND_ROOT_PATH="$tree" \
        -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include -DCMAKE_INSTALL_BINDIR=bin \
        -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF "$@"
    logged "$work/$name.log" cmake --build "$work/$name-build" "${target[@]}" -- -j"$jobs"
    logged "$work/$name.log" cmake --install "$work/$name-build"
}
build_ogg() {
    local src
    src=$(audio_source libogg)
    audio_cmake ogg "$src" -DINSTALL_DOCS=OFF
}
build_vorbis() {
    local src
    src=$(audio_source libvorbis)
    audio_cmake vorbis "$src"
}
# libFLAC alone: FLAC's CMake files build the helper libraries of its programs even without
# the programs (a fifth of the work). On Windows, FLAC's headers declare its functions as
# imported from a DLL unless FLAC__NO_DLL is defined; its CMake files define it for what links
# a static libFLAC through them, but flac.pc does not (nor does libsndfile, which finds libFLAC
# by itself).
build_flac() {
    local src
    src=$(audio_source flac)
    audio_cmake flac:FLAC "$src" -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
        -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF -DWITH_OGG=ON -DWITH_STACK_PROTECTOR=OFF \
        -DWITH_FORTIFY_SOURCE=OFF
    sed -i 's/^Cflags:.*/& -DFLAC__NO_DLL/' "$tree/lib/pkgconfig/flac.pc"
}
# Opus 1.3.1's tarball lacks the file its CMake files include to choose a default build type
# (one is given here anyway); those files take the version from "git describe" in the working
# folder, whatever repository that is, unless Git is out of their reach, and give opus.pc the
# shared library's version (0.8.0) where the release's belongs.
build_opus() {
    local src
    src=$(audio_source opus)
    [[ -f "$src/opus_buildtype.cmake" ]] || : >"$src/opus_buildtype.cmake"
    audio_cmake opus "$src" -DOPUS_STACK_PROTECTOR=OFF -DOPUS_BUILD_PROGRAMS=OFF \
        -DCMAKE_DISABLE_FIND_PACKAGE_Git=ON
    sed -i "s/^Version:.*/Version: $(grep -o '[0-9][0-9.]*' "$src/package_version")/" \
        "$tree/lib/pkgconfig/opus.pc"
}
# libmpg123 (with the small libsyn123 that its CMake files always build), not libout123.
# Those CMake files leave LIBMPG123_LIBS, the libraries libmpg123.pc names for a static link,
# empty: libmpg123 needs shlwapi (for its Unicode file names) and libm.
build_mpg123() {
    local src
    src=$(audio_source mpg123)
    audio_cmake mpg123 "$src/ports/cmake" -DBUILD_LIBOUT123=OFF -DBUILD_PROGRAMS=OFF \
        "-DLIBMPG123_LIBS=-lshlwapi -lm"
}
# LAME has only autotools; libsndfile uses it to encode, so its decoder stays out. Debian's
# patch that adds lame.pc changes configure.in, which would need autoreconf: libsndfile finds
# LAME by its header and library, and sndfile.pc names -lmp3lame itself.
build_lame() {
    local src
    src=$(audio_source lame)
    mkdir -p "$work/lame-build"
    cd "$work/lame-build"
    logged "$work/lame.log" "$src/configure" --host=x86_64-w64-mingw32 --prefix="$tree" \
        --disable-shared --enable-static --disable-frontend --disable-decoder \
        --disable-analyzer-hooks --disable-gtktest --disable-dependency-tracking \
        CC=x86_64-w64-mingw32-gcc-posix AR=x86_64-w64-mingw32-gcc-ar-posix \
        RANLIB=x86_64-w64-mingw32-gcc-ranlib-posix
    logged "$work/lame.log" make -C libmp3lame -j"$jobs"
    logged "$work/lame.log" make -C libmp3lame install
    logged "$work/lame.log" make -C include install
    cd "$work"
}
# libsndfile leaves out a codec it does not find, quietly: all of them must be in.
build_sndfile() {
    local src config=$work/sndfile-build/src/config.h
    src=$(audio_source libsndfile)
    audio_cmake sndfile "$src" -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DENABLE_CPACK=OFF \
        -DINSTALL_MANPAGES=OFF -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=ON \
        -DCMAKE_C_FLAGS=-DFLAC__NO_DLL
    if ! grep -q '^#define HAVE_EXTERNAL_XIPH_LIBS 1' "$config" ||
        ! grep -q '^#define HAVE_MPEG 1' "$config"; then
        echo "libsndfile was configured without its FLAC, Vorbis, Opus or MPEG codecs" >&2
        return 1
    fi
}
build_ebur128() {
    local src
    src=$(audio_source libebur128)
    audio_cmake ebur128 "$src"
}
build_kissfft() {
    local src
    src=$(audio_source kissfft)
    audio_cmake kissfft "$src" -DKISSFFT_DATATYPE=float -DKISSFFT_STATIC=ON -DKISSFFT_TEST=OFF \
        -DKISSFFT_TOOLS=OFF -DKISSFFT_OPENMP=OFF -DKISSFFT_PKGCONFIG=ON
}

# build_audio TREE WORK VERSIONS: the audio libraries built into TREE ("SOURCE VERSION" lines in
# VERSIONS), their sources and build folders in WORK, which is also the working folder. Two
# lanes keep both cores busy through the configure steps, which use one: libogg, libvorbis,
# libFLAC and LAME beside Opus, libmpg123, libebur128 and KissFFT; then libsndfile on them all.
# When one lane fails, the other is waited for before the build ends.
build_audio() {
    local tree=$1 work=$2 versions=$3 lane
    cd "$work"
    "$top/tools/enable-deb-src.sh"
    export PKG_CONFIG_LIBDIR=$tree/lib/pkgconfig PKG_CONFIG_PATH=
    trap wait EXIT
    (build_opus; build_mpg123; build_ebur128; build_kissfft) &
    lane=$!
    build_ogg
    build_vorbis
    build_flac
    build_lame
    wait "$lane"
    build_sndfile
    # What the libraries install beside themselves: libsndfile's documents, libFLAC++'s headers
    # (not built), libtool's archive notes.
    rm -rf "$tree/share/doc" "$tree/include/FLAC++" "$tree"/lib/*.la
    # The pkg-config files name the tree by their own folder: found through PREFIX/audio, their
    # paths follow that link, and a configured build follows it to a rebuilt tree.
    sed -i "s|$tree|\${pcfiledir}/../..|g" "$tree"/lib/pkgconfig/*.pc
}

# ensure_audio: the audio libraries for this machine's versions of their Debian packages, from
# the cache or built; linked as PREFIX/audio. The tree's name holds a digest of the source
# versions (listed in its .fogbell-versions) and the recipe. It is built where it stays, so that
# the paths in the libraries' own CMake files hold; .fogbell-complete marks it finished.
ensure_audio() {
    local entry versions="" name tree work
    for entry in "${audio_packages[@]}"; do
        versions+="${entry%%=*} $(dpkg-query -W -f='${source:Version}' "${entry#*=}")"$'\n'
    done
    versions+="recipe $audio_recipe"
    name=audio-$(sha256sum <<<"$versions" | cut -c1-12)-mingw-w64-x86_64-$audio_recipe
    tree=$cache/$name
    if [[ ! -f "$tree/.fogbell-complete" ]]; then
        echo "== Windows dependencies: libsndfile with its codecs, libebur128 and KissFFT from" \
            "their Debian sources" >&2
        rm -rf "$tree"
        work=$(mktemp -d "$cache/.audio-build.XXXXXX")
        (build_audio "$tree" "$work" "$(grep -v '^recipe ' <<<"$versions")")
        echo "$versions" >"$tree/.fogbell-versions"
        touch "$tree/.fogbell-complete"
        rm -rf "$work"
    fi
    ln -sfn "$tree" "$prefix/audio"
}

# locked NAME COMMAND...: COMMAND run holding the cache's lock NAME, so that a second build of
# the same tree on this machine (from another clone) waits for the first and then finds it done.
locked() {
    local name=$1
    shift
    (
        flock 9
        "$@"
    ) 9>"$cache/.$name.lock"
}

mkdir -p "$cache"
locked qt ensure_qt
locked sdl ensure_sdl
locked audio ensure_audio

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

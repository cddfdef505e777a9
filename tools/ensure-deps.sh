#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libsamplerate0-dev libcli11-dev
    nlohmann-json3-dev
    ffmpeg  # the encoder tests check that FFmpeg reads the ADX files we write
    qt6-base-dev qt6-qpa-plugins libqt6network6 fonts-dejavu-core xdg-utils
    libssl3 openssl  # Qt's TLS plug-in loads libssl; the update tests make a certificate
    xvfb xauth imagemagick
    libsdl2-dev
    libsndfile1-dev libebur128-dev libkissfft-dev  # sound files, loudness, FFT
    clang libclang-rt-14-dev
    dpkg-dev file  # the Debian package: dpkg-shlibdeps, and file to find its ELF files
    shared-mime-info desktop-file-utils  # its file types and desktop entry are checked with them
)
# The Windows build: the MinGW-w64 cross compiler, Wine to run its tests, apt-get source
# (dpkg-dev) for the libsamplerate sources it is built from, and NSIS for its installer.
if [[ "${FOGBELL_SKIP_WINDOWS:-1}" != 1 ]]; then
    packages+=(g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
        wine wine64 dpkg-dev googletest nsis)
fi

missing=()
for pkg in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing packages: ${missing[*]}" >&2
as_root=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

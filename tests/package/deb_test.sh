#!/usr/bin/env bash
# The Debian package CPack makes from the install rules: its name, its files (the program's
# folder under /usr/lib/fogbell, the links in /usr/bin, the desktop entry and the icon, the file
# types for the shared MIME database, every program and plug-in stripped), its control fields,
# a dependency on the package of every library that a program or plug-in in it links, and on
# those loaded at run time (libssl, ca-certificates); the file types as update-mime-database
# reads them, named by the desktop entry. Usage: deb_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >/dev/null
deb=$(find "$work/cpack" -maxdepth 1 -name '*.deb')
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[[ "$(basename "$deb")" == "fogbell_${version}_$(dpkg --print-architecture).deb" ]] ||
    fail "package named $(basename "$deb")"

# Every file and link, and nothing else: path, and for links their target.
expected="./usr/bin/fogbell -> ../lib/fogbell/fogbell
./usr/bin/fogbell-cli -> ../lib/fogbell/fogbell-cli
./usr/lib/fogbell/decode_plugins/adxvoice.so
./usr/lib/fogbell/decode_plugins/aixvoice.so
./usr/lib/fogbell/decode_plugins/sndvoice.so
./usr/lib/fogbell/decode_plugins/wavvoice.so
./usr/lib/fogbell/decode_plugins/xmdvoice.so
./usr/lib/fogbell/explore_plugins/afsvault.so
./usr/lib/fogbell/explore_plugins/aixvault.so
./usr/lib/fogbell/explore_plugins/mvxvault.so
./usr/lib/fogbell/explore_plugins/pacvault.so
./usr/lib/fogbell/fogbell
./usr/lib/fogbell/fogbell-cli
./usr/lib/fogbell/pic.jpg
./usr/share/applications/fogbell.desktop
./usr/share/icons/hicolor/128x128/apps/fogbell.png
./usr/share/mime/packages/fogbell.xml"
listing=$(dpkg-deb -c "$deb")
files=$(awk '$1 !~ /^d/ { $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' <<<"$listing" |
    LC_ALL=C sort)
[[ "$files" == "$expected" ]] || fail "package files differ: $(diff <(echo "$expected") \
    <(echo "$files") || true)"
grep -v ' root/root ' <<<"$listing" && fail "files not owned by root"
for program in fogbell fogbell-cli; do
    grep -q "^-rwxr-xr-x .* \./usr/lib/fogbell/$program\$" <<<"$listing" || fail "$program mode"
done

for field in Package:fogbell "Version:$version" Section:sound Priority:optional; do
    [[ "$(dpkg-deb -f "$deb" "${field%%:*}")" == "${field#*:}" ]] || fail "field ${field%%:*}"
done
grep -q '@' <<<"$(dpkg-deb -f "$deb" Maintainer)" || fail "no Maintainer address"
[[ $(dpkg-deb -f "$deb" Description | wc -l) -gt 2 ]] || fail "no long Description"

# Each library a program or plug-in names, found on this machine, and the package it comes
# from: that package is a dependency.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
dpkg-deb -x "$deb" "$work/root"
needed=()
for elf in "$work"/root/usr/lib/fogbell/fogbell{,-cli} "$work"/root/usr/lib/fogbell/*/*.so; do
    readelf -S "$elf" | grep -q '\.debug_info' && fail "${elf#"$work/root"} is not stripped"
    mapfile -t -O "${#needed[@]}" needed < <(readelf -d "$elf" |
        sed -n 's/.*(NEEDED).*Shared library: \[\(.*\)\]/\1/p')
done
grep -q 'libsamplerate' < <(printf '%s\n' "${needed[@]}") || fail "no plug-in links libsamplerate"
depended=$(tr ',|' '\n\n' <<<"$depends" | sed -E 's/^ +//; s/[ (].*//')  # the package names
cache=$(PATH=$PATH:/usr/sbin:/sbin ldconfig -p)  # not on an ordinary user's PATH
for library in $(printf '%s\n' "${needed[@]}" | sort -u); do
    path=$(awk -v lib="$library" '$1 == lib && /x86-64/ { print $NF; exit }' <<<"$cache")
    [[ -n "$path" ]] || fail "$library is not on this machine"
    owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "${path#/usr}" 2>/dev/null ||
        dpkg -S "/usr$path" 2>/dev/null) || fail "no package holds $path"
    owner=${owner%%:*}  # "libc6:amd64: /lib/..." or "fonts-x: /usr/..."
    grep -qxF "$owner" <<<"$depended" || fail "$library ($owner) is not a dependency"
done
# Loaded at run time, so named by hand: the TLS library and the certificate authorities.
for package in libssl3 ca-certificates; do
    grep -qxF "$package" <<<"$depended" || fail "$package is not a dependency"
done
# The file types: update-mime-database accepts the package's description (a copy of it, alone
# in a database of its own), which gives each of the six extensions its type and each format
# with a signature its magic; the desktop entry names exactly those types and validates.
mime=$work/mime
mkdir -p "$mime/packages"
cp "$work/root/usr/share/mime/packages/fogbell.xml" "$mime/packages/"
# It reports a fault in the description on its output and still succeeds: it must say nothing
# (the database's folder is a data folder of its own for it, so it has no note to give).
said=$(XDG_DATA_HOME=$work update-mime-database "$mime" 2>&1) && [[ -z "$said" ]] ||
    fail "update-mime-database refuses fogbell.xml: $said"
globs=$(grep -v '^#' "$mime/globs2" | LC_ALL=C sort -t: -k3)
expected_globs="50:audio/x-mistvale-adx:*.adx
50:application/x-mistvale-afs:*.afs
50:application/x-mistvale-aix:*.aix
50:application/x-mistvale-mvx:*.mvx
50:application/x-mistvale-pac:*.pac
50:audio/x-mistvale-xmd:*.xmd"
[[ "$globs" == "$expected_globs" ]] || fail "MIME globs differ: $(diff <(echo "$expected_globs") \
    <(echo "$globs") || true)"
magic=$(grep -a -o '^\[[0-9]*:[^]]*\]' "$mime/magic" | sed 's/^\[[0-9]*://; s/\]$//' | LC_ALL=C sort)
[[ "$magic" == "$(printf '%s\n' application/x-mistvale-{afs,aix,mvx,pac} audio/x-mistvale-adx)" ]] ||
    fail "magic for: $magic"
desktop=$work/root/usr/share/applications/fogbell.desktop
desktop-file-validate "$desktop" || fail "fogbell.desktop does not validate"
named=$(sed -n 's/^MimeType=//p' "$desktop" | tr ';' '\n' | grep . | LC_ALL=C sort)
[[ "$named" == "$(cut -d: -f2 <<<"$expected_globs" | LC_ALL=C sort)" ]] ||
    fail "the desktop entry's MimeType names: $named"
echo "package $(basename "$deb") OK"

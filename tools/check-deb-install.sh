#!/usr/bin/env bash
# Installs the Debian package into a bare Debian 12 root (debootstrap, variant minbase) with
# apt, as a user would on a fresh machine, and runs the installed programs there without a
# display: "fogbell --formats" and "fogbell-cli formats" must each list the nine plug-ins.
# The root first gets what a desktop brings for file types (shared-mime-info,
# desktop-file-utils, xdg-utils and the MIME reader xdg-mime uses there): once the package is
# in, xdg-mime must give the sound files Fogbell's types, by name and by their first bytes, and
# fogbell.desktop as the program for each type; once it is removed again, neither.
#   tools/check-deb-install.sh [DEB]    (default: the newest dist/fogbell_*.deb; run as root)
# The sound files come from the demo and sample tools of the default build (build/, or
# FOGBELL_BUILD). The root is made from the Debian mirror of this machine's apt sources, in
# build-debootstrap/ (the downloaded packages are kept there for the next run), and removed
# afterwards. debootstrap is installed from Debian's package when missing.
set -euo pipefail
source "$(dirname "$0")/usage.sh" 0 "$@"
top=$(cd "$(dirname "$0")/.." && pwd)
[[ $(id -u) -eq 0 ]] || { echo "debootstrap and chroot need root" >&2; exit 1; }
deb=${1:-$(ls -t "$top"/dist/fogbell_*.deb 2>/dev/null | head -1)}
[[ -f "$deb" ]] || { echo "no package (make one with tools/package.sh)" >&2; exit 1; }
build=${FOGBELL_BUILD:-$top/build}
for tool in tools/fogbell_demo_container tests/fogbell_sample_containers bin/fogbell-cli; do
    [[ -x "$build/$tool" ]] || { echo "no $build/$tool (build it with tools/build.sh)" >&2; exit 1; }
done
started=$SECONDS
stage() { echo "== $* ($((SECONDS - started)) s)"; }

# mirror SUITE: the first URI of this machine's apt sources (deb822 or one-line) that serves
# binary packages of SUITE.
mirror() {
    local suite=$1 found
    found=$(
        for file in /etc/apt/sources.list.d/*.sources; do
            [[ -f "$file" ]] || continue
            awk -v suite="$suite" 'BEGIN { RS = "" } {
                    types = uris = suites = ""
                    n = split($0, lines, "\n")
                    for (i = 1; i <= n; ++i) {
                        if (lines[i] ~ /^Types:/) types = " " lines[i] " "
                        if (lines[i] ~ /^URIs:/) { split(lines[i], u, " "); uris = u[2] }
                        if (lines[i] ~ /^Suites:/) suites = " " lines[i] " "
                    }
                    if (types ~ / deb / && suites ~ (" " suite " ")) print uris
                }' "$file"
        done
        { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
            sed -E 's/\[[^]]*\]//' | awk -v suite="$suite" '$1 == "deb" && $3 == suite { print $2 }'
    )
    echo "${found%%$'\n'*}"
}
main_mirror=$(mirror bookworm)
[[ -n "$main_mirror" ]] || { echo "no Debian 12 (bookworm) source in /etc/apt" >&2; exit 1; }
security_mirror=$(mirror bookworm-security)

if ! command -v debootstrap >/dev/null; then
    stage "Installing debootstrap"
    until DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null; do
        echo "(apt is busy; trying again)" >&2
        sleep 10
    done
fi

work=$top/build-debootstrap
root=$work/root
cleanup() {
    mountpoint -q "$root/proc" && umount "$root/proc"
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cleanup
mkdir -p "$work/cache" "$root"
stage "debootstrap bookworm (minbase) from $main_mirror"
debootstrap --variant=minbase --cache-dir="$work/cache" bookworm "$root" "$main_mirror" \
    >"$work/debootstrap.log" 2>&1 || { tail -20 "$work/debootstrap.log" >&2; exit 1; }
echo "$(du -sh --exclude=proc "$root" | cut -f1) in the bare root"

# The same sources and acquire settings as this machine's apt.
{
    echo "deb $main_mirror bookworm main"
    echo "deb $main_mirror bookworm-updates main"
    [[ -z "$security_mirror" ]] || echo "deb $security_mirror bookworm-security main"
} >"$root/etc/apt/sources.list"
apt-config dump | grep -E '^Acquire::Check-(Valid-Until|Date) ' \
    >"$root/etc/apt/apt.conf.d/99host-acquire" || true
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/"
in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}

in_root apt-get update -qq
stage "A desktop's file type tools"
desktop_tools=(shared-mime-info desktop-file-utils xdg-utils libfile-mimeinfo-perl)
in_root apt-get install -y -q --no-install-recommends "${desktop_tools[@]}" >"$work/apt.log" 2>&1 ||
    { tail -30 "$work/apt.log" >&2; exit 1; }

stage "apt install ./$(basename "$deb")"
before=$(in_root dpkg-query -W -f='${Package}\n' | wc -l)
in_root sh -c "cd /tmp && apt install -y -q ./$(basename "$deb")" >"$work/apt.log" 2>&1 || { tail -30 "$work/apt.log" >&2; exit 1; }
after=$(in_root dpkg-query -W -f='${Package}\n' | wc -l)
echo "installed fogbell and $((after - before - 1)) packages it depends on"

fail() { echo "FAIL: $*" >&2; exit 1; }
stage "fogbell --formats (no display)"
formats=$(in_root fogbell --formats)
echo "$formats"
[[ $(grep -c $'\t/usr/lib/fogbell/\(explore\|decode\)_plugins/' <<<"$formats") -eq 9 ]] ||
    fail "fogbell --formats does not list the nine installed plug-ins"
stage "fogbell-cli formats"
formats=$(in_root fogbell-cli formats)
echo "$formats"
[[ $(grep -c . <<<"$formats") -eq 9 ]] || fail "fogbell-cli formats does not list nine plug-ins"
# The sound files, each under its own name and under a name without an extension: the demo
# archive, the members extracted from it and a sample MVX archive.
sounds=$root/tmp/sounds
mkdir -p "$sounds/members"
"$build/tools/fogbell_demo_container" "$sounds" >/dev/null
"$build/bin/fogbell-cli" extract "$sounds/mistvale_sound.afs" -o "$sounds/members" >/dev/null
"$build/tests/fogbell_sample_containers" "$sounds/members" >/dev/null
declare -A types=([afs]=application/x-mistvale-afs [aix]=application/x-mistvale-aix
    [pac]=application/x-mistvale-pac [mvx]=application/x-mistvale-mvx
    [adx]=audio/x-mistvale-adx [xmd]=audio/x-mistvale-xmd)
named=()
for extension in "${!types[@]}"; do
    file=$(cd "$sounds" && find . -name "*.$extension" | LC_ALL=C sort | head -1)
    [[ -n "$file" ]] || fail "no .$extension among the sound files"
    named+=("/tmp/sounds/${file#./}")
    # By content alone where the format has a signature (XMD has none).
    [[ "$extension" == xmd ]] || {
        cp "$sounds/$file" "$sounds/$extension-without-extension"
        named+=("/tmp/sounds/$extension-without-extension")
    }
done
filetype() { in_root xdg-mime query filetype "$1"; }
default() { in_root xdg-mime query default "$1"; }

stage "xdg-mime: types and the program for them"
for file in "${named[@]}"; do
    extension=${file##*/}
    extension=${extension%-without-extension}
    extension=${extension##*.}
    type=$(filetype "$file")
    echo "$file: $type"
    [[ "$type" == "${types[$extension]}" ]] || fail "$file is $type, not ${types[$extension]}"
done
for type in "${types[@]}"; do
    program=$(default "$type")
    echo "$type: $program"
    [[ "$program" == fogbell.desktop ]] || fail "xdg-mime gives $type to \"$program\""
done

stage "apt remove fogbell: the types go with it"
in_root apt-get remove -y -q fogbell >"$work/apt.log" 2>&1 || { tail -30 "$work/apt.log" >&2; exit 1; }
for type in "${types[@]}"; do
    [[ ! -e "$root/usr/share/mime/$type.xml" ]] || fail "$type is still in the MIME database"
    program=$(default "$type")
    [[ -z "$program" ]] || fail "xdg-mime still gives $type to \"$program\""
done
type=$(filetype /tmp/sounds/afs-without-extension)
[[ "$type" != application/x-mistvale-afs ]] || fail "the AFS archive is still $type"
echo "without the package: the AFS archive is $type"
stage "The package installs and runs on a bare Debian 12, and its file types come and go with it"

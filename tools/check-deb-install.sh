#!/usr/bin/env bash
# Installs the Debian package into a bare Debian 12 root (debootstrap, variant minbase) with
# apt, as a user would on a fresh machine, and runs the installed programs there without a
# display: "fogbell --formats" and "fogbell-cli formats" must each list the nine plug-ins.
#   tools/check-deb-install.sh [DEB]    (default: the newest dist/fogbell_*.deb; run as root)
# The root is made from the Debian mirror of this machine's apt sources, in build-debootstrap/
# (the downloaded packages are kept there for the next run), and removed afterwards.
# debootstrap is installed from Debian's package when missing.
set -euo pipefail
source "$(dirname "$0")/usage.sh" 0 "$@"
top=$(cd "$(dirname "$0")/.." && pwd)
[[ $(id -u) -eq 0 ]] || { echo "debootstrap and chroot need root" >&2; exit 1; }
deb=${1:-$(ls -t "$top"/dist/fogbell_*.deb 2>/dev/null | head -1)}
[[ -f "$deb" ]] || { echo "no package (make one with tools/package.sh)" >&2; exit 1; }
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

stage "apt install ./$(basename "$deb")"
in_root apt-get update -qq
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
stage "The package installs and runs on a bare Debian 12"

#!/usr/bin/env bash
# Makes Debian source packages reachable through apt ("apt-get source"), from the same mirrors
# the machine already installs binary packages from: every "deb" entry of its sources gets a
# "deb-src" twin in a file of our own. Names no mirror itself. Idempotent: does nothing when a
# source entry exists already. Needs root (or sudo) only when it has to add the entry.
set -euo pipefail

apt_dir=/etc/apt
ours=$apt_dir/sources.list.d/fogbell-deb-src.sources

has_deb_src() {
    grep -qsE '^[[:space:]]*Types:.*\bdeb-src\b' "$apt_dir"/sources.list.d/*.sources && return 0
    grep -qsE '^[[:space:]]*deb-src[[:space:]]' "$apt_dir"/sources.list "$apt_dir"/sources.list.d/*.list
}

if has_deb_src; then
    exit 0
fi

# deb822 files: copy each stanza whose Types hold "deb", with Types set to "deb-src".
# One-line files: copy each "deb ..." line as "deb-src ...".
entries=$(
    for file in "$apt_dir"/sources.list.d/*.sources; do
        [[ -f "$file" ]] || continue
        awk 'BEGIN { RS = ""; ORS = "\n\n" }
             /(^|\n)[ \t]*Types:([^\n]*[ \t])?deb([ \t][^\n]*)?(\n|$)/ {
                 gsub(/(^|\n)[ \t]*Types:[^\n]*/, "\nTypes: deb-src")
                 sub(/^\n/, "")
                 if ($0 !~ /(^|\n)[ \t]*Enabled:[ \t]*no/) print
             }' "$file"
    done
)
lines=$(for file in "$apt_dir"/sources.list "$apt_dir"/sources.list.d/*.list; do
    [[ -f "$file" ]] && sed -nE 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$file"
done || true)

if [[ -z "$entries" && -z "$lines" ]]; then
    echo "No Debian package source found to add a source entry beside." >&2
    exit 1
fi

as_root=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to add $ours" >&2; exit 1; }
    as_root=(sudo)
fi
echo "Adding Debian source entries beside the binary ones ($ours)" >&2
if [[ -n "$entries" ]]; then
    printf '%s\n' "$entries" | "${as_root[@]}" tee "$ours" >/dev/null
fi
if [[ -n "$lines" ]]; then
    printf '%s\n' "$lines" | "${as_root[@]}" tee "${ours%.sources}.list" >/dev/null
fi
"${as_root[@]}" apt-get update -qq

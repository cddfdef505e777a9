#!/usr/bin/env bash
# Checks the Windows package as a user gets it: unpacked into an empty folder, it holds the
# programs, both plug-in folders, README.txt (and pic.jpg beside the window), and exactly the
# DLLs its programs and plug-ins import that Windows does not have; under Wine, from another
# folder, fogbell-cli.exe finds every plug-in inside it (the eight always built, and sndvoice
# where the Windows build has libsndfile) and lists the sample containers as fogbell-cli of the
# Linux build does.
#   tools/check-windows-zip.sh ZIP [LINUX_BUILD_DIR]
# Wine is set up as tools/wine-env.sh sets it up (run this through it).
set -euo pipefail
source "$(dirname "$0")/usage.sh" 1 "$@"
top=$(cd "$(dirname "$0")/.." && pwd)
zip=$(realpath "$1")
linux_build=$(cd "${2:-$top/build}" && pwd)
export LC_ALL=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
export WINEPREFIX=${WINEPREFIX:-$top/build-windows/wineprefix}
objdump=${FOGBELL_OBJDUMP:-x86_64-w64-mingw32-objdump}
system32=$WINEPREFIX/drive_c/windows/system32
[[ -d "$system32" ]] || { echo "no Wine prefix at $WINEPREFIX (run through tools/wine-env.sh)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/fogbell-zip-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
name=$(basename "$zip" .zip)
[[ "$(ls "$work/unpacked")" == "$name" ]] || fail "the archive does not hold one folder $name"
folder=$work/unpacked/$name

required=(fogbell-cli.exe README.txt)
for plugin in explore_plugins/{afsvault,aixvault,mvxvault,pacvault}.dll \
              decode_plugins/{adxvoice,aixvoice,wavvoice,xmdvoice}.dll; do
    required+=("$plugin")
done
# The window needs its picture and the Qt plug-ins it loads by name from folders beside it.
[[ ! -e "$folder/fogbell.exe" ]] ||
    required+=(pic.jpg platforms/qwindows.dll imageformats/qjpeg.dll styles/qwindowsvistastyle.dll)
for file in "${required[@]}"; do
    [[ -f "$folder/$file" ]] || fail "$file is missing"
done

# The DLLs each program and library imports: one in the program's folder, or Windows' own
# (one that Wine has). A DLL in the folder that nothing imports does not belong there; those
# in other subfolders (Qt's plug-ins) are loaded by name and count as importers only.
imports() { "$objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'; }
declare -A shipped=() used=()
for dll in "$folder"/*.dll; do
    [[ -e "$dll" ]] && shipped[$(basename "$dll" | tr 'A-Z' 'a-z')]=1
done
while IFS= read -r -d '' binary; do
    for dll in $(imports "$binary"); do
        if [[ -n "${shipped[$dll]:-}" ]]; then
            used[$dll]=1
        elif [[ "$dll" == api-ms-win-* ]]; then
            : # an API set: a name the system's loader maps to its own DLLs (Qt 6 uses the
              # synchronisation set of Windows 8 and later)
        elif ! find "$system32" -maxdepth 1 -iname "$dll" | grep -q .; then
            fail "${binary#"$folder/"} imports $dll, which is neither in the folder nor Windows' own"
        fi
    done
done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
for dll in "${!shipped[@]}"; do
    [[ -n "${used[$dll]:-}" ]] || fail "$dll is in the folder but nothing imports it"
done
beside="${!shipped[*]}"
echo "DLLs beside the programs: ${beside:-none}; every other import is Windows' own"

# Run from another folder: the program finds its plug-ins beside itself.
wine=$(command -v wine || command -v wine64)
mkdir "$work/elsewhere"
cd "$work/elsewhere"
formats=$("$wine" "$folder/fogbell-cli.exe" formats | tr -d '\r')
echo "$formats"
plugins=$(find "$folder/explore_plugins" "$folder/decode_plugins" -iname '*.dll' | wc -l)
[[ $(grep -c . <<<"$formats") -eq $plugins ]] ||
    fail "fogbell-cli.exe formats lists not all $plugins plug-ins"
# The Linux build's listing, of the plug-ins the zip holds.
linux_formats=$("$linux_build/bin/fogbell-cli" formats | while IFS= read -r line; do
    IFS=$'\t' read -r kind name _ <<<"$line"
    sub=decode_plugins
    [[ "$kind" != explorer ]] || sub=explore_plugins
    if [[ -e "$folder/$sub/$name.dll" ]]; then
        printf '%s\n' "$line"
    fi
done)
# Kind, library and extensions agree; the last column is each library's own path.
[[ "$(cut -f1-3 <<<"$formats")" == "$(cut -f1-3 <<<"$linux_formats")" ]] ||
    fail "formats differ from Linux"
if [[ -e "$folder/fogbell.exe" ]]; then
    # The window's own listing loads Qt and SDL from the folder: a DLL missing stops it here.
    window=$("$wine" "$folder/fogbell.exe" --formats 2>&1 | tr -d '\r')
    [[ $(grep -c '^explorer\|^decoder' <<<"$window") -eq $plugins ]] ||
        fail "fogbell.exe --formats lists not all $plugins plug-ins: $window"
    # --version prints where the output goes, not in a message box nobody can close here.
    version=$(timeout 60 "$wine" "$folder/fogbell.exe" --version | tr -d '\r')
    expected=${name#Fogbell-}
    [[ "$version" == "Fogbell ${expected%-win64}" ]] || fail "fogbell.exe --version printed: $version"
fi

"$linux_build/tests/fogbell_sample_containers" "$work/elsewhere" >/dev/null
for container in music.aix voices.afs speech.pac scenes.mvx; do
    windows=$("$wine" "$folder/fogbell-cli.exe" list "$container" | tr -d '\r')
    linux=$("$linux_build/bin/fogbell-cli" list "$container")
    [[ "$windows" == "$linux" && -n "$linux" ]] || fail "list $container differs:
$(diff <(echo "$linux") <(echo "$windows") || true)"
done
echo "$name: the unpacked folder runs under Wine and lists the samples as Linux does"

#!/usr/bin/env bash
# Checks the Windows installer as a user runs it, under Wine, in a fresh Wine prefix of its own
# (made by wineboot, removed afterwards):
#   - "SETUP /S /CurrentUser" installs for the user alone: the program in
#     %LOCALAPPDATA%\Programs\Fogbell (fogbell.exe with its icon; fogbell-cli.exe finds the
#     plug-ins there), the Start menu entry, the entry in the list of programs (HKCU),
#     the six file types, each with its ProgID Fogbell.EXT (icon, open command) in "Open with"
#     and given to Fogbell unless another program owned it before (.pac is given to one here
#     first: it keeps it);
#   - its QuietUninstallString removes all of that and nothing else: the other program's .pac,
#     the settings (%APPDATA%\Fogbell, %LOCALAPPDATA%\Fogbell) and the ini.ini the program
#     writes beside itself (with the folder) stay;
#   - "SETUP /S" started with administrator rights (Wine's user has them) installs for all
#     users, into Program Files and under HKLM, and its uninstaller removes that.
#   tools/check-windows-installer.sh SETUP
set -euo pipefail
source "$(dirname "$0")/usage.sh" 1 "$@"
setup=$(realpath "$1")
started=$SECONDS
wine=$(command -v wine || command -v wine64)
objdump=${FOGBELL_OBJDUMP:-x86_64-w64-mingw32-objdump}
export LC_ALL=C.UTF-8 WINEDEBUG=-all DISPLAY= WINEARCH=win64
# Wine's menu builder would copy the Start menu entry and the file types into this machine's
# own desktop (~/.local/share): it is left out.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
work=$(mktemp -d "${TMPDIR:-/tmp}/fogbell-setup-XXXXXX")
export WINEPREFIX=$work/prefix
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
stage() { echo "== $* ($((SECONDS - started)) s)"; }

stage "A fresh Wine prefix"
mkdir "$WINEPREFIX"
"$wine" wineboot --init >/dev/null 2>&1
wineserver -w

# unix PATH: the file that a Windows path on drive C: names in the prefix.
unix() { sed 's|^[Cc]:|'"$WINEPREFIX"'/drive_c|; s|\\|/|g' <<<"$1"; }
# One line per key (KEY and two tabs) and per value (KEY, NAME, DATA, tab-separated) of what
# "reg query KEY /s" shows; the default value's NAME is "(Default)". Empty for a missing key.
registry() {
    { "$wine" reg query "$1" /s 2>/dev/null || true; } | tr -d '\r' | awk '
        /^HKEY_/ { key = $0; print key "\t\t"; next }
        /^    / {
            line = substr($0, 5); i = index(line, "    ")
            rest = substr(line, i + 4); j = index(rest, "    ")
            print key "\t" substr(line, 1, i - 1) "\t" (j ? substr(rest, j + 4) : "")
        }'
}
# value DUMP KEY NAME: the data of a value in a registry() dump (empty when it is not there).
value() { awk -F'\t' -v key="$2" -v name="$3" '$1 == key && $2 == name { print $3 }' <<<"$1"; }
has_value() {
    awk -F'\t' -v key="$2" -v name="$3" '$1 == key && $2 == name { found = 1 }
        END { exit !found }' <<<"$1"
}
has_key() { grep -qxF "$2"$'\t\t' <<<"$1"; }

folders=$("$wine" cmd /c 'echo %LOCALAPPDATA%^|%APPDATA%^|%ProgramData%^|%ProgramW6432%' |
    tr -d '\r')
IFS='|' read -r local_appdata appdata programdata programfiles <<<"$folders"
extensions=(afs aix adx pac mvx xmd)
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Fogbell'

# check_installed ROOT FOLDER STARTMENU: the installation registered under ROOT
# (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE) is complete, its file types included (.pac stays
# the other program's under HKEY_CURRENT_USER). Sets quiet, its QuietUninstallString.
check_installed() {
    local root=$1 folder=$2 startmenu=$3 dir key dump extension
    dir=$(unix "$folder")
    for file in fogbell.exe fogbell-cli.exe Uninstall.exe pic.jpg README.txt \
                explore_plugins/afsvault.dll decode_plugins/adxvoice.dll; do
        [[ -f "$dir/$file" ]] || fail "$file is not in $folder"
    done
    # The icon that the shortcut, the entry and the file types show ("fogbell.exe,0").
    "$objdump" -p "$dir/fogbell.exe" | grep -Eq '^[0-9a-f]+   Entry: ID: 0x0*e,' ||
        fail "fogbell.exe has no icon resource"
    [[ -f "$(unix "$startmenu")/Programs/Fogbell.lnk" ]] || fail "no Start menu entry in $startmenu"

    key="$root\\$uninstall_key"
    dump=$(registry "$key")
    for name in DisplayName DisplayVersion Publisher DisplayIcon UninstallString \
                QuietUninstallString InstallLocation EstimatedSize; do
        [[ -n "$(value "$dump" "$key" "$name")" ]] || fail "$key has no $name"
    done
    [[ "$(value "$dump" "$key" InstallLocation)" == "$folder" ]] ||
        fail "InstallLocation is $(value "$dump" "$key" InstallLocation)"
    [[ "$(value "$dump" "$key" DisplayIcon)" == "$folder\\fogbell.exe,0" ]] ||
        fail "DisplayIcon is $(value "$dump" "$key" DisplayIcon)"
    quiet=$(value "$dump" "$key" QuietUninstallString)
    [[ "$quiet" == "\"$folder\\Uninstall.exe\" /S" ]] || fail "QuietUninstallString is $quiet"

    key="$root\\Software\\Classes"
    dump=$(registry "$key")
    for extension in "${extensions[@]}"; do
        local progid="Fogbell.$extension" owner="Fogbell.$extension"
        [[ "$root" != HKEY_CURRENT_USER || "$extension" != pac ]] || owner=Other.pac
        [[ "$(value "$dump" "$key\\$progid\\shell\\open\\command" "(Default)")" == \
            "\"$folder\\fogbell.exe\" \"%1\"" ]] || fail "$progid does not open with fogbell.exe"
        [[ "$(value "$dump" "$key\\$progid\\DefaultIcon" "(Default)")" == \
            "$folder\\fogbell.exe,0" ]] || fail "$progid has not Fogbell's icon"
        has_value "$dump" "$key\\.$extension\\OpenWithProgids" "$progid" ||
            fail ".$extension has no $progid in OpenWithProgids"
        [[ "$(value "$dump" "$key\\.$extension" "(Default)")" == "$owner" ]] ||
            fail ".$extension belongs to \"$(value "$dump" "$key\\.$extension" "(Default)")\""
    done
}

# uninstall: runs the uninstaller as QuietUninstallString says and waits for it (its copy in
# the temporary folder does the work after the program started here has ended).
uninstall() {
    local exe=${quiet#\"}
    exe=${exe%%\"*}
    "$wine" "$(unix "$exe")" /S
    wineserver -w
}

# check_removed ROOT FOLDER STARTMENU LEFT: nothing of the installation under ROOT is left but
# the files LEFT (paths in FOLDER, one a line; none: the folder is gone too) and the file types
# that were not its own.
check_removed() {
    local root=$1 folder=$2 startmenu=$3 left=$4 dir key dump extension
    dir=$(unix "$folder")
    [[ ! -e "$(unix "$startmenu")/Programs/Fogbell.lnk" ]] || fail "the Start menu entry is left"
    [[ -z "$(registry "$root\\$uninstall_key")" ]] || fail "the uninstall key is left"
    key="$root\\Software\\Classes"
    dump=$(registry "$key")
    ! grep -q Fogbell <<<"$dump" || fail "registry entries are left: $(grep Fogbell <<<"$dump")"
    for extension in "${extensions[@]}"; do
        [[ "$root" == HKEY_CURRENT_USER && "$extension" == pac ]] ||
            ! has_key "$dump" "$key\\.$extension" || fail ".$extension is left"
    done
    if [[ -z "$left" ]]; then
        [[ ! -e "$dir" ]] || fail "$folder is left"
    else
        [[ "$(cd "$dir" && find . -mindepth 1 | LC_ALL=C sort)" == "$left" ]] ||
            fail "left in $folder: $(cd "$dir" && find . -mindepth 1)"
    fi
}

stage "Installing for the user alone (.pac owned by another program)"
cat >"$work/owner.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Classes\.pac]
@="Other.pac"

[HKEY_CURRENT_USER\Software\Classes\Other.pac\shell\open\command]
@="notepad.exe \"%1\""
EOF
"$wine" reg import "Z:$work/owner.reg" >/dev/null 2>&1
"$wine" "$setup" /S /CurrentUser
folder="$local_appdata\\Programs\\Fogbell"
startmenu="$appdata\\Microsoft\\Windows\\Start Menu"
check_installed HKEY_CURRENT_USER "$folder" "$startmenu"
formats=$(cd "$work" && "$wine" "$(unix "$folder")/fogbell-cli.exe" formats | tr -d '\r')
echo "$formats"
plugins=$(find "$(unix "$folder")/explore_plugins" "$(unix "$folder")/decode_plugins" -iname '*.dll' | wc -l)
[[ $(grep -c . <<<"$formats") -eq $plugins ]] ||
    fail "the installed fogbell-cli.exe lists not all $plugins plug-ins"
echo "installed in $folder: files, Start menu entry, uninstall key and file types"

stage "Uninstalling it: $quiet"
# The user's settings: beside the program (its folder is writable) and in the profile.
settings=("$(unix "$folder")/ini.ini" "$(unix "$appdata")/Fogbell/ini.ini"
    "$(unix "$local_appdata")/Fogbell/undo/1")
for file in "${settings[@]}"; do
    mkdir -p "$(dirname "$file")"
    echo kept >"$file"
done
uninstall
check_removed HKEY_CURRENT_USER "$folder" "$startmenu" ./ini.ini
dump=$(registry 'HKEY_CURRENT_USER\Software\Classes\.pac')
[[ "$(value "$dump" 'HKEY_CURRENT_USER\Software\Classes\.pac' '(Default)')" == Other.pac ]] ||
    fail ".pac lost its owner"
for file in "${settings[@]}"; do
    [[ -f "$file" ]] || fail "$file was removed"
done
echo "removed: ini.ini is left in $folder, .pac is still Other.pac's, the settings are kept"

stage "Installing for all users (with administrator rights, as Wine's user has them)"
"$wine" "$setup" /S
folder="$programfiles\\Fogbell"
startmenu="$programdata\\Microsoft\\Windows\\Start Menu"
check_installed HKEY_LOCAL_MACHINE "$folder" "$startmenu"
stage "Uninstalling it: $quiet"
uninstall
check_removed HKEY_LOCAL_MACHINE "$folder" "$startmenu" ""
stage "$(basename "$setup") installs, registers and uninstalls under Wine"

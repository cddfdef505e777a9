#!/usr/bin/env bash
# Shows Fogbell on a virtual screen and saves a picture of its window: installs the program into
# a scratch folder, builds a demo archive with fogbell_demo_container, starts the window under
# Xvfb, opens the archive and double-clicks its first track, which plays on the null sound
# device, then saves the window on a quiet background.
#   tools/screenshot.sh [linux|windows|both] [OUT.png]
# linux:   the Linux program with a small window manager (for the title bar); docs/screenshot.png
# windows: fogbell.exe of the Windows zip (tools/package.sh windows), unpacked, under Wine in a
#          Wine desktop (Windows' own window frames) with Wine's Tahoma; docs/screenshot-windows.png
# both (the default) makes both pictures at their default places.
set -euo pipefail
source "$(dirname "$0")/usage.sh" 0 "$@"
top=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-both}
cd "$top"
case "$which" in
    linux) out=$(realpath -m "${2:-$top/docs/screenshot.png}") ;;
    windows) out=$(realpath -m "${2:-$top/docs/screenshot-windows.png}") ;;
    both) "$0" linux; exec "$0" windows ;;
    *) echo "usage: $0 [linux|windows|both] [OUT.png]" >&2; exit 2 ;;
esac

tools/build.sh default >&2
cmake --build build --target fogbell_demo_container >&2
[[ "$which" != windows ]] || zip=$(tools/package.sh windows)

# What only this script needs: a window manager, a way to click, Wine's own fonts.
missing=()
for pkg in openbox xdotool x11-utils fonts-wine; do
    [[ $(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true) == "install ok installed" ]] ||
        missing+=("$pkg")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    as_root=(); [[ $(id -u) -eq 0 ]] || as_root=(sudo)
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

work=$(mktemp -d -t fogbell-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
archive=$(build/tools/fogbell_demo_container "$work")
export FOGBELL_AUDIO=null ARCHIVE="$archive" SHOT="$work/window.png"

if [[ "$which" == linux ]]; then
    cmake --install build --prefix "$prefix" >/dev/null
    cat >"$prefix/lib/fogbell/ini.ini" <<INI
[General]
SaveDir=/home/mistvale/Music/extracted
Volume=8200
LoopAix=1
Top=0
INI
    export PROGRAM="$prefix/bin/fogbell"
    xvfb-run -a -s "-screen 0 720x540x24" bash -c '
        openbox >/dev/null 2>&1 &
        sleep 1
        "$PROGRAM" "$ARCHIVE" >/dev/null 2>&1 &
        wid=$(xdotool search --sync --name "Mistvale.s Sound Explorer" | head -1)
        xdotool windowmove "$wid" 40 40
        sleep 1
        # Double-click the first row of the list (below the filter field and the list header), then rest the pointer.
        xdotool mousemove --window "$wid" 60 96 click --repeat 2 --delay 80 1
        xdotool mousemove --window "$wid" 300 200
        sleep 3.2
        # The window with its frame: the title bar above it and the thin border around it.
        read -r ax ay rx ry w h < <(xwininfo -id "$wid" | awk "
            /Absolute upper-left X/{ax=\$NF} /Absolute upper-left Y/{ay=\$NF}
            /Relative upper-left X/{rx=\$NF} /Relative upper-left Y/{ry=\$NF}
            /Width/{w=\$NF} /Height/{h=\$NF} END{print ax, ay, rx, ry, w, h}")
        crop="$((w + 2 * rx))x$((h + ry + rx))+$((ax - rx))+$((ay - ry))"
        import -window root -crop "$crop" +repage "$SHOT"
        kill %2 2>/dev/null || true
    '
else
    # The program folder as a user unpacks it from the zip.
    mkdir -p "$prefix" && (cd "$prefix" && cmake -E tar xf "$zip")
    prefix=$prefix/$(basename "$zip" .zip)
    cat >"$prefix/ini.ini" <<INI
[General]
SaveDir=C:\\Users\\mistvale\\Music\\extracted
Volume=8200
LoopAix=1
Top=0
INI
    # A Wine prefix with a display, kept beside the build's headless one; Wine's fonts (Tahoma,
    # and Marlett for the caption buttons) copied into its Fonts folder, where Wine looks.
    export WINEPREFIX="$top/build-windows/wineprefix-display" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
    export PROGRAM="$prefix/fogbell.exe"
    xvfb-run -a -s "-screen 0 720x540x24" bash -c '
        if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
            wine wineboot --init >/dev/null 2>&1
            wineserver -w
        fi
        cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
        wine explorer /desktop=fogbell,560x420 "$PROGRAM" "$(winepath -w "$ARCHIVE")" \
            >/dev/null 2>&1 &
        wid=$(xdotool search --sync --name "Mistvale.s Sound Explorer" | head -1)
        sleep 2
        # Double-click the first row of the list (below the caption, the filter field and the list header), then
        # rest the pointer away from the list.
        xdotool mousemove --window "$wid" 60 119 click --repeat 2 --delay 80 1
        xdotool mousemove --window "$wid" 220 236
        sleep 3.2
        # Wine draws the frame and the caption inside the desktop: the window is its bounds.
        read -r ax ay w h < <(xwininfo -id "$wid" | awk "
            /Absolute upper-left X/{ax=\$NF} /Absolute upper-left Y/{ay=\$NF}
            /Width/{w=\$NF} /Height/{h=\$NF} END{print ax, ay, w, h}")
        import -window root -crop "${w}x${h}+${ax}+${ay}" +repage "$SHOT"
        wineserver -k
    '
fi
mkdir -p "$(dirname "$out")"
# The window on a quiet background with a soft shadow.
convert "$work/window.png" \( +clone -background black -shadow 45x8+0+5 \) +swap \
    -background '#e6e9ef' -layers merge +repage -bordercolor '#e6e9ef' -border 14 "$out"
echo "$out"

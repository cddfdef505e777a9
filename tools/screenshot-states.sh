#!/usr/bin/env bash
# Pictures of the window's states under Xvfb, from the Linux build as it is (run
# tools/build.sh default, or build the targets fogbell and fogbell_demo, first): the demo archive
# with its first track playing and "Loop sound" checked (the caption over the waveform), the same
# with "Loop sound" unchecked, the replace dialog, and a wider window. Needs what
# tools/screenshot.sh installs (openbox, xdotool, x11-utils) and ImageMagick.
#   tools/screenshot-states.sh [BUILD_DIR] [OUT_DIR]
# Writes OUT_DIR (default docs/) window-loop-checked.png, window-loop-unchecked.png,
# window-replace-dialog.png and window-wide.png.
set -euo pipefail
source "$(dirname "$0")/usage.sh" 0 "$@"
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
out=$(realpath -m "${2:-$top/docs}")
mkdir -p "$out"
work=$(mktemp -d -t fogbell-states.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The program with its plug-ins beside it, and settings of its own; an audio file beside a
# copy of the demo archive, for the replace dialog to list.
cp -r "$build/bin/." "$work/prefix"
mkdir -p "$work/demo"
cp "$build/demo/mistvale_sound.afs" "$work/demo/"
"$build/bin/fogbell-cli" extract "$work/demo/mistvale_sound.afs" se_bell.wav -o "$work/demo" >/dev/null
cat >"$work/prefix/ini.ini" <<INI
[General]
SaveDir=/home/mistvale/Music/extracted
Volume=8200
LoopAix=1
Top=0
INI
export FOGBELL_AUDIO=null PROGRAM="$work/prefix/fogbell" ARCHIVE="$work/demo/mistvale_sound.afs" OUT="$work"
xvfb-run -a -s "-screen 0 900x700x24" bash -c '
    openbox >/dev/null 2>&1 &
    sleep 1
    "$PROGRAM" "$ARCHIVE" >/dev/null 2>&1 &
    wid=$(xdotool search --sync --name "Mistvale.s Sound Explorer" | head -1)
    xdotool windowmove "$wid" 40 40
    sleep 1
    shot() {
        local id=$1 name=$2
        read -r ax ay rx ry w h < <(xwininfo -id "$id" | awk "
            /Absolute upper-left X/{ax=\$NF} /Absolute upper-left Y/{ay=\$NF}
            /Relative upper-left X/{rx=\$NF} /Relative upper-left Y/{ry=\$NF}
            /Width/{w=\$NF} /Height/{h=\$NF} END{print ax, ay, rx, ry, w, h}")
        import -window root -crop "$((w + 2 * rx))x$((h + ry + rx))+$((ax - rx))+$((ay - ry))" \
            +repage "$OUT/window-$name.png"
    }
    xdotool mousemove --window "$wid" 60 96 click --repeat 2 --delay 80 1
    xdotool mousemove --window "$wid" 300 200
    sleep 3.2
    shot "$wid" loop-checked
    # Loop sound off: the check box is at dialog units (236,92) 74x12.
    xdotool mousemove --window "$wid" 410 159 click 1
    xdotool mousemove --window "$wid" 300 200
    sleep 0.5
    shot "$wid" loop-unchecked
    # The replace dialog: right-click the first row, the menu'"'"'s third item.
    xdotool mousemove --window "$wid" 60 96 click 3
    sleep 0.5
    xdotool key Down Down Down Return
    dlg=$(xdotool search --sync --name "^Replace " | head -1)
    sleep 1
    shot "$dlg" replace-dialog
    xdotool key Escape
    sleep 0.3
    # A wider window: the columns share the width.
    xdotool windowsize "$wid" 760 520
    sleep 1
    shot "$wid" wide
    kill %1 2>/dev/null || true
'
# Each on a quiet background with a soft shadow, as tools/screenshot.sh frames its picture.
for name in loop-checked loop-unchecked replace-dialog wide; do
    convert "$work/window-$name.png" \( +clone -background black -shadow 45x8+0+5 \) +swap \
        -background '#e6e9ef' -layers merge +repage -bordercolor '#e6e9ef' -border 14 \
        "$out/window-$name.png"
    echo "$out/window-$name.png"
done

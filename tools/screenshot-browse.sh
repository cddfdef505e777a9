#!/usr/bin/env bash
# Pictures of the window browsing a large archive: an AFS archive of 100,000 ADX members, filtered
# to "voice_12" (Ctrl+F) and sorted by name, last first, at 100 % and at 200 % scale
# (QT_SCALE_FACTOR=2), under Xvfb with a small window manager.
#   tools/screenshot-browse.sh [OUT_DIR]   (default docs/; writes browse-100.png, browse-200.png)
# Needs the default build (bench/window_bench makes the archive).
set -euo pipefail
source "$(dirname "$0")/usage.sh" 0 "$@"
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$top/docs}")
cd "$top"
for pkg in openbox xdotool x11-utils imagemagick; do
    [[ $(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true) == "install ok installed" ]] ||
        { echo "$0: needs $pkg (apt-get install $pkg)" >&2; exit 1; }
done
work=$(mktemp -d -t fogbell-browse.XXXXXX)
trap 'rm -rf "$work"' EXIT
build/bin/window_bench make 100000 "$work/mistvale_voices.afs"
mkdir -p "$out"
cmake --install build --prefix "$work/prefix" >/dev/null
export FOGBELL_AUDIO=null ARCHIVE="$work/mistvale_voices.afs" PROGRAM="$work/prefix/bin/fogbell"
for scale in 1 2; do
    # Fresh settings for each picture: the window starts at its smallest size.
    cat >"$work/prefix/lib/fogbell/ini.ini" <<INI
[General]
SaveDir=/home/mistvale/Music/extracted
Volume=8200
INI
    export SCALE=$scale SHOT="$work/window-$scale.png"
    xvfb-run -a -s "-screen 0 $((900 * scale))x$((620 * scale))x24" bash -c '
        openbox >/dev/null 2>&1 &
        sleep 1
        QT_SCALE_FACTOR=$SCALE "$PROGRAM" "$ARCHIVE" >/dev/null 2>&1 &
        wid=$(xdotool search --sync --name "Mistvale.s Sound Explorer" | head -1)
        xdotool windowmove "$wid" $((20 * SCALE)) $((20 * SCALE))
        xdotool windowsize "$wid" $((760 * SCALE)) $((520 * SCALE))
        sleep 2
        xdotool windowactivate --sync "$wid" key ctrl+f
        xdotool type --delay 60 "voice_12"
        sleep 1
        # The File Name header twice: natural order, last first.
        xdotool mousemove --window "$wid" $((60 * SCALE)) $((78 * SCALE)) click 1
        sleep 0.5
        xdotool mousemove --window "$wid" $((60 * SCALE)) $((78 * SCALE)) click 1
        sleep 0.5
        # Three rows selected, the pointer away from the list.
        xdotool mousemove --window "$wid" $((60 * SCALE)) $((110 * SCALE)) click 1
        xdotool keydown shift mousemove --window "$wid" $((60 * SCALE)) $((140 * SCALE)) click 1 keyup shift
        xdotool mousemove --window "$wid" $((700 * SCALE)) $((300 * SCALE))
        sleep 1
        read -r ax ay rx ry w h < <(xwininfo -id "$wid" | awk "
            /Absolute upper-left X/{ax=\$NF} /Absolute upper-left Y/{ay=\$NF}
            /Relative upper-left X/{rx=\$NF} /Relative upper-left Y/{ry=\$NF}
            /Width/{w=\$NF} /Height/{h=\$NF} END{print ax, ay, rx, ry, w, h}")
        crop="$((w + 2 * rx))x$((h + ry + rx))+$((ax - rx))+$((ay - ry))"
        import -window root -crop "$crop" +repage "$SHOT"
        kill %2 2>/dev/null || true
    '
    convert "$work/window-$scale.png" \( +clone -background black -shadow 45x8+0+5 \) +swap \
        -background '#e6e9ef' -layers merge +repage -bordercolor '#e6e9ef' -border 14 \
        "$out/browse-$((scale * 100)).png"
    echo "$out/browse-$((scale * 100)).png"
done

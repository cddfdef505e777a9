#!/usr/bin/env bash
# Shows Fogbell on a virtual screen and saves a picture of its window: installs the program into
# a scratch prefix, builds a demo archive with fogbell_demo_container, starts the window under
# Xvfb with a small window manager (for the title bar), opens the archive and double-clicks its
# first track, which plays on the null sound device, then saves the window.
#   tools/screenshot.sh [OUT.png]        (default: docs/screenshot.png)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$top/docs/screenshot.png}")
cd "$top"
tools/build.sh default >&2
cmake --build build --target fogbell_demo_container >&2

# What only this script needs: a window manager, and a way to click.
missing=()
for pkg in openbox xdotool; do
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
cmake --install build --prefix "$prefix" >/dev/null
archive=$(build/tools/fogbell_demo_container "$work")
cat >"$prefix/lib/fogbell/ini.ini" <<INI
[General]
SaveDir=/home/mistvale/Music/extracted
Volume=8200
LoopAix=1
Top=0
INI

export FOGBELL_AUDIO=null PROGRAM="$prefix/bin/fogbell" ARCHIVE="$archive" SHOT="$work/window.png"
xvfb-run -a -s "-screen 0 720x540x24" bash -c '
    openbox >/dev/null 2>&1 &
    sleep 1
    "$PROGRAM" "$ARCHIVE" >/dev/null 2>&1 &
    wid=$(xdotool search --sync --name "Mistvale.s Sound Explorer" | head -1)
    xdotool windowmove "$wid" 40 40
    sleep 1
    # Double-click the first row of the list (below the list header), then rest the pointer.
    xdotool mousemove --window "$wid" 60 74 click --repeat 2 --delay 80 1
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
mkdir -p "$(dirname "$out")"
# The window on a quiet background with a soft shadow.
convert "$work/window.png" \( +clone -background black -shadow 45x8+0+5 \) +swap \
    -background '#e6e9ef' -layers merge +repage -bordercolor '#e6e9ef' -border 14 "$out"
echo "$out"

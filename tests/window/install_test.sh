#!/usr/bin/env bash
# cmake --install puts the program, both plug-in folders, the picture, the desktop entry and the
# icon under a prefix, and the installed program (reached through PREFIX/bin) finds its
# plug-ins there. Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/fogbell bin/fogbell-cli lib/fogbell/fogbell lib/fogbell/pic.jpg \
            share/applications/fogbell.desktop share/icons/hicolor/128x128/apps/fogbell.png \
            lib/fogbell/explore_plugins/afsvault.so lib/fogbell/decode_plugins/adxvoice.so; do
    [[ -e "$prefix/$file" ]] || fail "$file not installed"
done
[[ -L "$prefix/bin/fogbell" ]] || fail "bin/fogbell is not a link into lib/fogbell"
grep -qx 'Exec=fogbell %f' "$prefix/share/applications/fogbell.desktop" || fail "desktop Exec"
grep -qx 'Icon=fogbell' "$prefix/share/applications/fogbell.desktop" || fail "desktop Icon"

# From somewhere else, through the link, without a display: every plug-in comes from the
# installed folders.
cd /
listing=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/fogbell" --formats)
echo "$listing"
# Four explorers; four decoders, and sndvoice where the build has libsndfile for it.
decoders=4
[[ ! -e "$build/bin/decode_plugins/sndvoice.so" ]] || decoders=5
[[ $(grep -c . <<<"$listing") -eq $((4 + decoders)) ]] || fail "expected $((4 + decoders)) plug-ins"
[[ $(grep -c "$prefix/lib/fogbell/explore_plugins/" <<<"$listing") -eq 4 ]] || fail "explorers"
[[ $(grep -c "$prefix/lib/fogbell/decode_plugins/" <<<"$listing") -eq $decoders ]] ||
    fail "decoders"
"$prefix/bin/fogbell-cli" formats | grep -q AFS || fail "fogbell-cli finds no plug-ins"
[[ "$listing" == "$("$prefix/bin/fogbell-cli" formats)" ]] ||
    fail "fogbell --formats and fogbell-cli formats print different tables"
echo "install layout OK"

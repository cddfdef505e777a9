#!/usr/bin/env bash
# The demo archive opens, every member but the text file is read by some plug-in, and the
# members that are containers show as such.
# Usage: demo_container_test.sh FOGBELL_DEMO_CONTAINER FOGBELL_CLI
set -euo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
archive=$("$1" "$dir")
listing=$("$2" list "$archive")
echo "$listing"
fail() { echo "FAIL: $*" >&2; exit 1; }
[[ $(grep -c . <<<"$listing") -ge 8 ]] || fail "fewer than 8 members"
[[ $(grep -c 'Unsupported' <<<"$listing") -eq 1 ]] || fail "only readme.txt is unsupported"
grep -q 'bgm_title.adx.*44100Hz,2Ch' <<<"$listing" || fail "bgm_title.adx format"
grep -q 'voices.pac.*\.\.' <<<"$listing" || fail "voices.pac is a container"
"$2" list "$archive::voices.pac" | grep -q '22050Hz,1Ch' || fail "voices.pac tracks"

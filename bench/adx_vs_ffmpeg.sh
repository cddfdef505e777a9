#!/usr/bin/env bash
# Decodes an ADX file with Fogbell and with FFmpeg and prints how far apart the two decodes are:
# the level of their difference below the signal, in dB (higher: closer). FFmpeg computes the
# prediction coefficients from the header's cutoff frequency and rounds them to 12 bits, where
# Fogbell uses 14-bit ones (the fixed pair at 44.1 kHz with a 500 Hz cutoff), so the two drift
# apart from the first frames on.
#   bench/adx_vs_ffmpeg.sh [FILE.adx]      (after ./test.sh or tools/build.sh default)
# Without a file, the demo archive's bgm_title.adx (written by the build, encoded by Fogbell at
# 44.1 kHz) is measured. Needs ffmpeg and python3. Environment: FOGBELL_BUILD (default build/).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${FOGBELL_BUILD:-$top/build}
work=$(mktemp -d "${TMPDIR:-/tmp}/fogbell-ffmpeg-XXXXXX")
trap 'rm -rf "$work"' EXIT
adx=${1:-}
if [[ -z "$adx" ]]; then
    "$build/bin/fogbell-cli" extract "$build/demo/mistvale_sound.afs" bgm_title.adx -o "$work" \
        >/dev/null
    adx="$work/bgm_title.adx"
fi
mkdir -p "$work/fogbell"
"$build/bin/fogbell-cli" decode "$adx" -o "$work/fogbell" >/dev/null
ffmpeg -v error -i "$adx" -f s16le -acodec pcm_s16le "$work/ffmpeg.raw"
python3 - "$work/fogbell"/*.wav "$work/ffmpeg.raw" "$(basename "$adx")" <<'PY'
import array, math, sys

def wave_samples(path):
    data = open(path, 'rb').read()
    at = 12
    while at + 8 <= len(data):  # the chunks after "RIFF....WAVE"
        size = int.from_bytes(data[at + 4:at + 8], 'little')
        if data[at:at + 4] == b'data':
            return array.array('h', data[at + 8:at + 8 + size])
        at += 8 + size + (size & 1)
    sys.exit(path + ': no data chunk')

ours = wave_samples(sys.argv[1])
theirs = array.array('h', open(sys.argv[2], 'rb').read())
count = min(len(ours), len(theirs))
signal = sum(float(s) * s for s in ours[:count])
noise = sum(float(a - b) ** 2 for a, b in zip(ours[:count], theirs[:count]))
if noise == 0:
    print(f'{sys.argv[3]}: the decodes are identical ({count} samples)')
else:
    print(f'{sys.argv[3]}: FFmpeg differs from Fogbell by {10 * math.log10(signal / noise):.1f} dB '
          f'({count} samples; Fogbell {len(ours)}, FFmpeg {len(theirs)})')
PY

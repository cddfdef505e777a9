#!/usr/bin/env bash
# How closely Fogbell's 16-bit rendering of every WAVE sample format follows FFmpeg's decode of
# the same file, and how close any 16-bit rendering can be.
#
# For each format an editor may write (8-bit unsigned, 16/24/32-bit integer, 32/64-bit float,
# and the same inside WAVE_FORMAT_EXTENSIBLE) sox writes the same 10-second stereo signal at
# -1 dBFS; `fogbell-cli decode` turns it into 16-bit PCM and FFmpeg decodes it to 64-bit float
# (its full precision). The script prints the signal-to-noise ratio of Fogbell's output against
# FFmpeg's decode (RMS of FFmpeg's signal over RMS of the difference, in dB) and beside it the
# same ratio for the file rounded to 16 bits by sox without dither: the best a 16-bit result can
# do. Formats no finer than 16 bits match exactly ("exact").
#
#   bench/wave_formats_vs_ffmpeg.sh         (after ./test.sh or tools/build.sh default)
#
# Environment: FOGBELL_BUILD (default build/), BENCH_DIR (default build/wave_formats_vs_ffmpeg).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${FOGBELL_BUILD:-$top/build}
work=${BENCH_DIR:-$build/wave_formats_vs_ffmpeg}
cli=$build/bin/fogbell-cli

need=()
command -v ffmpeg >/dev/null || need+=(ffmpeg)
command -v sox >/dev/null || need+=(sox)
if ((${#need[@]})); then
    sudo=()
    ((EUID == 0)) || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${need[@]}" >/dev/null
fi
[[ -x $cli ]] || { echo "missing $cli: build first (./test.sh or tools/build.sh default)" >&2; exit 1; }
mkdir -p "$work"

# The source: two partials per channel with a slow swell, at -6 dBFS peak, as 64-bit float.
source=$work/source.wav
sox -n -r 44100 -c 2 -b 64 -e floating-point "$source" \
    synth 10 sine 440 sine 554 synth 10 sine mix 3 remix 1 2 norm -1

# rms_db FILE: the RMS level of the file's first channel, in dB full scale (sox's stats).
rms_db() { sox -V1 "$1" -n remix 1 stats 2>&1 | awk '/^RMS lev dB/ {print $4}'; }

# format_tag FILE: the WAVE format tag, as the header's bytes 20-21 hold it.
format_tag() { od -An -tx2 -j20 -N2 "$1" | tr -d ' '; }

# snr REFERENCE RENDERING: the ratio of the reference's RMS to the RMS of their difference.
snr() {
    local difference=$work/difference.wav
    sox -V1 -m -v -1 "$1" -v 1 "$2" -b 64 -e floating-point "$difference"
    local signal noise
    signal=$(rms_db "$1")
    noise=$(rms_db "$difference")
    if [[ $noise == "-inf" ]]; then
        echo exact
    else
        awk -v s="$signal" -v n="$noise" 'BEGIN {printf "%.1f dB", s - n}'
    fi
}

printf '%-8s %-8s %-20s %s\n' "format" "tag" "fogbell-cli decode" "ideal 16-bit rounding"
# name sox-options...
while read -r name options; do
    input=$work/$name.wav
    # -D: no dither, so every format holds the source rounded once.
    # shellcheck disable=SC2086
    sox -V1 -D "$source" $options "$input"
    mkdir -p "$work/fogbell"
    "$cli" decode "$input" -o "$work/fogbell" --force >/dev/null
    mv "$work/fogbell/$name.wav.wav" "$work/$name.fogbell.wav"
    ffmpeg -nostdin -v error -y -i "$input" -c:a pcm_f64le "$work/$name.ffmpeg.wav"
    sox -V1 -D "$input" -b 16 -e signed-integer "$work/$name.rounded.wav"
    reference=$work/$name.ffmpeg.wav
    printf '%-8s 0x%-6s %-20s %s\n' "$name" "$(format_tag "$input")" \
        "$(snr "$reference" "$work/$name.fogbell.wav")" "$(snr "$reference" "$work/$name.rounded.wav")"
done <<'EOF'
u8 -b 8 -e unsigned-integer
s16 -b 16 -e signed-integer
s24 -b 24 -e signed-integer
s32 -b 32 -e signed-integer
f32 -b 32 -e floating-point
f64 -b 64 -e floating-point
EOF

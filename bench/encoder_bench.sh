#!/usr/bin/env bash
# The ADX and XMD encoders against FFmpeg's ADX encoder.
#
# Makes its own inputs (speech from espeak-ng, music-like sounds from sox and FFmpeg), at 22050
# to 48000 Hz, mono and stereo, and prints:
#   - one row per input: the signal-to-noise ratio of FFmpeg's encoder decoded by FFmpeg, of ours
#     decoded by our adxvoice plug-in (through fogbell-cli wav), the difference, FFmpeg's decode
#     of our file against ours, and our XMD round trip;
#   - the encoding speed in seconds of audio per second of CPU time on one core (encode_bench).
# Installs espeak-ng, sox and ffmpeg when they are missing. Builds nothing: run tools/build.sh
# default first (or give the build folder as the first argument).
#
#   bench/encoder_bench.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cli=$build/bin/fogbell-cli
bench=$build/bin/encode_bench
[[ -x $cli && -x $bench ]] || { echo "Build first: tools/build.sh default" >&2; exit 1; }

missing=()
for tool in espeak-ng sox ffmpeg; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    as_root=()
    [[ $(id -u) -eq 0 ]] || as_root=(sudo)
    "${as_root[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# FFmpeg writes WAVE files without extra chunks only when asked to be bit-exact.
ff() { ffmpeg -nostdin -v error -y "$@"; }
plain=(-bitexact -fflags +bitexact -flags:a +bitexact -map_metadata -1 -c:a pcm_s16le)

text1="The lighthouse keeper heard the fog bell ringing across the harbour at midnight. \
Nobody answered his call, and the boats stayed moored until the morning tide came in."
text2="Mistvale sleeps under a grey sky. Somewhere beyond the cliffs a lantern swings, \
and the old ferryman counts the waves before he rows across the sound."
espeak-ng -v en -s 150 -w voice1.wav "$text1"
espeak-ng -v en+f3 -s 165 -p 60 -w voice2.wav "$text2"

inputs=()
for rate in 22050 32000 44100 48000; do
    # Speech: mono, and stereo from two different voices.
    sox voice1.wav -b 16 -e signed -r "$rate" "speech_${rate}_1.wav" rate -v
    sox -M voice1.wav voice2.wav -b 16 -e signed -r "$rate" "speech_${rate}_2.wav" rate -v trim 0 8
    # Music-like: plucked chords with a bass line from sox, and tones with pink noise from FFmpeg.
    for ch in 1 2; do
        sox -n -b 16 -e signed -r "$rate" -c "$ch" "chords_${rate}_${ch}.wav" synth 8 \
            pluck C3 pluck E3 pluck G3 pluck C4 tremolo 5 40 gain -h -3
        ff -f lavfi -i "sine=f=220:d=8:r=$rate" -f lavfi -i "sine=f=331:d=8:r=$rate" \
            -f lavfi -i "anoisesrc=d=8:c=pink:a=0.1:r=$rate" -filter_complex \
            "[0][1][2]amix=inputs=3,volume=2,aresample=$rate,aformat=channel_layouts=$([[ $ch == 1 ]] && echo mono || echo stereo)" \
            "${plain[@]}" "tones_${rate}_${ch}.wav"
    done
    inputs+=("speech_${rate}_1.wav" "speech_${rate}_2.wav" "chords_${rate}_1.wav"
             "chords_${rate}_2.wav" "tones_${rate}_1.wav" "tones_${rate}_2.wav")
done

printf '%-22s %10s %10s %8s %12s %10s\n' input "FFmpeg dB" "ours dB" "gain dB" \
    "FF-reads dB" "XMD dB"
worst=999
for input in "${inputs[@]}"; do
    base=${input%.wav}
    # FFmpeg's encoder, decoded by FFmpeg.
    ff -i "$input" -c:a adpcm_adx "$base.ff.adx"
    ff -i "$base.ff.adx" "${plain[@]}" "$base.ff.wav"
    # Ours, decoded by our adxvoice plug-in.
    "$cli" encode "$input" "$base.adx" --force >/dev/null
    "$cli" wav "$base.adx" -o . >/dev/null
    # Ours, decoded by FFmpeg, against ours decoded by us.
    ff -i "$base.adx" "${plain[@]}" "$base.adx.ff.wav"
    theirs=$("$bench" snr "$input" "$base.ff.wav")
    ours=$("$bench" snr "$input" "$base.adx.wav")
    agree=$("$bench" snr "$base.adx.wav" "$base.adx.ff.wav")
    "$cli" encode "$input" "$base.xmd" --force >/dev/null
    "$cli" wav "$base.xmd" -o . >/dev/null
    xmd=$("$bench" snr "$input" "$base.xmd.wav")
    gain=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", a - b }')
    worst=$(awk -v a="$gain" -v w="$worst" 'BEGIN { print (a < w ? a : w) }')
    printf '%-22s %10s %10s %8s %12s %10s\n' "$base" "$theirs" "$ours" "$gain" "$agree" "$xmd"
done
echo "smallest gain over FFmpeg's encoder: $worst dB"
echo
echo "Encoding speed, one core (seconds of audio per second of CPU time, best of 3):"
"$bench" speed speech_22050_1.wav speech_44100_2.wav speech_48000_2.wav chords_48000_2.wav \
    tones_48000_2.wav tones_22050_1.wav

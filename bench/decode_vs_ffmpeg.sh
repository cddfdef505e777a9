#!/usr/bin/env bash
# Decoding cost of Fogbell against FFmpeg, whole process, on this machine:
#   1. wall time and peak memory of `fogbell-cli wav` and `ffmpeg -i x.adx -f wav` on a 10-minute
#      stereo 44100 Hz ADX file, run alternately, medians and their ratio (/usr/bin/time -v);
#   2. instructions per decoded 16-bit sample of both ADX decoders and of Fogbell's XMD decoder
#      (callgrind): the count for a 60-second file minus the count for a 30-second file, divided
#      by the samples the extra 30 seconds hold, so that start-up and the fixed costs cancel.
# FFmpeg serves only as the peer and as the maker of the ADX inputs (it encodes them from a
# generated signal); XMD has no FFmpeg peer, its inputs come from build/bin/bench_xmd_input.
#
#   bench/decode_vs_ffmpeg.sh [RUNS]        (after ./test.sh or tools/build.sh default)
#
# Wall times follow the machine's load: on a busy machine compare the two in the same run (they
# alternate for that reason) and look at the processor seconds beside them.
#
# Environment: FOGBELL_BUILD (default build/), BENCH_DIR (inputs and outputs; default
# build/decode_vs_ffmpeg, inputs are kept between runs).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${FOGBELL_BUILD:-$top/build}
work=${BENCH_DIR:-$build/decode_vs_ffmpeg}
runs=${1:-9}
cli=$build/bin/fogbell-cli
xmd_input=$build/bin/bench_xmd_input
rate=44100
channels=2

# The tools the benchmark needs, installed from Debian when missing.
need=()
command -v ffmpeg >/dev/null || need+=(ffmpeg)
command -v valgrind >/dev/null || need+=(valgrind)
[[ -x /usr/bin/time ]] || need+=(time)
if ((${#need[@]})); then
    sudo=()
    ((EUID == 0)) || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${need[@]}" >/dev/null
fi
for f in "$cli" "$xmd_input"; do
    [[ -x $f ]] || { echo "missing $f: build first (./test.sh or tools/build.sh default)" >&2; exit 1; }
done

mkdir -p "$work/out"

# make_adx SECONDS FILE: stereo 44100 Hz ADX of a music-like signal (two chords of partials
# with a slow swell on each channel, and a little noise), encoded by FFmpeg.
make_adx() {
    local seconds=$1 file=$2
    [[ -s $file ]] && return
    local left='0.25*sin(2*PI*220*t)*(1+0.5*sin(2*PI*0.3*t))+0.15*sin(2*PI*331*t)+0.08*sin(2*PI*1245*t)+0.03*(random(0)-0.5)'
    local right='0.25*sin(2*PI*277*t)*(1+0.5*sin(2*PI*0.2*t))+0.15*sin(2*PI*415*t)+0.08*sin(2*PI*1663*t)+0.03*(random(1)-0.5)'
    ffmpeg -nostdin -v error -y -f lavfi -i "aevalsrc=${left}|${right}:s=${rate}:d=${seconds}" \
        -c:a adpcm_adx -f adx "$file"
}

make_xmd() {
    local seconds=$1 file=$2
    [[ -s $file ]] || "$xmd_input" "$seconds" "$file" "$channels" "$rate"
}

echo "== Inputs in $work"
make_adx 600 "$work/long.adx"
make_adx 30 "$work/s30.adx"
make_adx 60 "$work/s60.adx"
make_xmd 30 "$work/s30.xmd"
make_xmd 60 "$work/s60.xmd"
ls -l "$work"/*.adx "$work"/*.xmd | awk '{printf "  %-40s %12d bytes\n", $NF, $5}'

# calc EXPRESSION: the value of an arithmetic expression, in floating point.
calc() { awk "BEGIN {x = ($1); print x}"; }

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# timed NAME COMMAND...: runs the command under /usr/bin/time -v, appends its wall seconds
# (nanosecond clock) to NAME.wall, its processor seconds (user + system) to NAME.cpu and its
# peak resident set (KiB) to NAME.rss.
timed() {
    local name=$1
    shift
    local start end
    start=$(date +%s%N)
    /usr/bin/time -v -o "$work/$name.time" "$@" >/dev/null
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN {printf "%.4f\n", ns / 1e9}' >>"$work/$name.wall"
    awk -F': ' '/Maximum resident set size/ {print $2}' "$work/$name.time" >>"$work/$name.rss"
    awk -F': ' '/User time|System time/ {t += $2} END {print t}' "$work/$name.time" \
        >>"$work/$name.cpu"
}

echo
echo "== Saving the 10-minute stereo ${rate} Hz ADX as WAVE, $runs runs each, alternating"
echo "   ($(nproc) processors, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start)"
rm -f "$work"/fogbell.{wall,cpu,rss} "$work"/ffmpeg.{wall,cpu,rss}
for ((i = 0; i < runs; i++)); do
    rm -f "$work/out/long.wav" "$work/ffmpeg.wav"
    timed fogbell "$cli" wav "$work/long.adx" -o "$work/out"
    timed ffmpeg ffmpeg -nostdin -v error -y -i "$work/long.adx" -f wav "$work/ffmpeg.wav"
done
fw=$(median <"$work/fogbell.wall")
fc=$(median <"$work/fogbell.cpu")
fm=$(median <"$work/fogbell.rss")
gw=$(median <"$work/ffmpeg.wall")
gc=$(median <"$work/ffmpeg.cpu")
gm=$(median <"$work/ffmpeg.rss")
printf '  %-22s %10s %10s %16s\n' "median" "wall (s)" "cpu (s)" "peak RSS (MiB)"
printf '  %-22s %10.3f %10.2f %16.1f\n' "fogbell-cli wav" "$fw" "$fc" "$(calc "$fm / 1024")"
printf '  %-22s %10.3f %10.2f %16.1f\n' "ffmpeg -f wav" "$gw" "$gc" "$(calc "$gm / 1024")"
printf '  %-22s %10.2f %10.2f %16.2f\n' "ratio fogbell/ffmpeg" "$(calc "$fw / $gw")" \
    "$(calc "$gc > 0 ? $fc / $gc : 0")" "$(calc "$fm / $gm")"
printf '  wall runs fogbell: %s\n' "$(sort -g "$work/fogbell.wall" | tr '\n' ' ')"
printf '  wall runs ffmpeg:  %s\n' "$(sort -g "$work/ffmpeg.wall" | tr '\n' ' ')"

# instructions COMMAND...: the instructions callgrind counts for the whole process.
instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        awk '/Collected :/ {print $NF}'
}

# per_sample NAME SHORT LONG COMMAND...: instructions per decoded 16-bit sample, the command run
# with {} replaced by the 30- and then the 60-second input.
per_sample() {
    local name=$1 short=$2 long=$3
    shift 3
    local args_short=() args_long=() a
    for a in "$@"; do
        args_short+=("${a//\{\}/$short}")
        args_long+=("${a//\{\}/$long}")
    done
    local i30 i60
    i30=$(instructions "${args_short[@]}")
    i60=$(instructions "${args_long[@]}")
    local samples=$((30 * rate * channels))
    printf '  %-22s %14d %14d %10.2f\n' "$name" "$i30" "$i60" "$(calc "($i60 - $i30) / $samples")"
}

echo
echo "== Instructions per decoded 16-bit sample (callgrind, 60 s minus 30 s, stereo ${rate} Hz)"
printf '  %-22s %14s %14s %10s\n' "" "30 s file" "60 s file" "per sample"
per_sample "ADX fogbell-cli wav" "$work/s30" "$work/s60" "$cli" wav "{}.adx" -o "$work/out"
per_sample "ADX ffmpeg -f wav" "$work/s30" "$work/s60" \
    ffmpeg -nostdin -v error -y -threads 1 -i "{}.adx" -f wav "$work/ffmpeg-cg.wav"
per_sample "XMD fogbell-cli wav" "$work/s30" "$work/s60" "$cli" wav "{}.xmd" -o "$work/out"
rm -f "$work"/out/*.wav "$work"/ffmpeg*.wav

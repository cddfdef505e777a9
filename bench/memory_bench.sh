#!/usr/bin/env bash
# Peak resident memory of large work, whole process, under /usr/bin/time -v:
#   1. `fogbell-cli wav` of a 10-minute stereo 44100 Hz ADX file beside `ffmpeg -i x.adx -f wav`
#      on the same file (FFmpeg also makes the input), and their ratio; the goal is at most 0.25;
#   2. `fogbell-cli replace --rebuild` of an AFS archive of about SIZE_MB megabytes (default 1024)
#      made of 8 MB members, one member replaced by a larger file; the goal is under 100 MiB;
#   3. `fogbell-cli replace --from DIR --rebuild` of the same archive with eight members replaced
#      at once, four of them growing (one rebuild); the goal is under 100 MiB;
#   4. `fogbell-cli pack` of the archive's members, extracted with --manifest; the goal is under
#      100 MiB, and the packed archive must equal the original byte for byte;
#   5. the replacements in place of bench/replace_cost_bench.sh (a batch of four 64 MiB tracks,
#      a track nested in an archive inside an archive), in anonymous memory and time.
#
#   bench/memory_bench.sh [SIZE_MB]        (after building fogbell-cli and the plug-ins)
#
# Environment: FOGBELL_BUILD (default build/), BENCH_DIR (inputs and outputs; default
# build/memory_bench; the ADX input is kept between runs, the archive is made afresh).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${FOGBELL_BUILD:-$top/build}
work=${BENCH_DIR:-$build/memory_bench}
size_mb=${1:-1024}
cli=$build/bin/fogbell-cli
wav_goal=0.25    # fogbell's peak over FFmpeg's
rebuild_goal=100 # MiB

[[ -x $cli ]] || { echo "missing $cli: build fogbell-cli and the plug-ins first" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "missing /usr/bin/time: apt-get install time" >&2; exit 1; }
have_ffmpeg=1
command -v ffmpeg >/dev/null || have_ffmpeg=0
mkdir -p "$work/out"
trap 'rm -rf "$work/big.afs" "$work/new.bin" "$work/batch" "$work/unpacked" "$work/packed.afs"' EXIT

# peak_mib COMMAND...: runs the command under /usr/bin/time -v (its output thrown away) and prints
# its peak resident set in MiB; stops the benchmark when the command fails.
peak_mib() {
    if ! /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null; then
        echo "failed: $*" >&2
        exit 1
    fi
    awk -F': ' '/Maximum resident set size/ {printf "%.1f\n", $2 / 1024}' "$work/time.txt"
}

# verdict VALUE GOAL: "met" when VALUE is at most GOAL, else "MISSED".
verdict() { awk -v v="$1" -v g="$2" 'BEGIN {print (v <= g) ? "met" : "MISSED"}'; }

echo "== wav of a 10-minute stereo ADX"
if ((have_ffmpeg)); then
    if [[ ! -s $work/long.adx ]]; then
        left='0.25*sin(2*PI*220*t)*(1+0.5*sin(2*PI*0.3*t))+0.15*sin(2*PI*331*t)+0.03*(random(0)-0.5)'
        right='0.25*sin(2*PI*277*t)*(1+0.5*sin(2*PI*0.2*t))+0.15*sin(2*PI*415*t)+0.03*(random(1)-0.5)'
        ffmpeg -nostdin -v error -y -f lavfi -i "aevalsrc=${left}|${right}:s=44100:d=600" \
            -c:a adpcm_adx -f adx "$work/long.adx"
    fi
    rm -f "$work"/out/*.wav "$work/ffmpeg.wav"
    ours=$(peak_mib "$cli" wav "$work/long.adx" -o "$work/out")
    theirs=$(peak_mib ffmpeg -nostdin -v error -y -i "$work/long.adx" -f wav "$work/ffmpeg.wav")
    ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN {printf "%.2f", a / b}')
    printf '  input %d bytes\n' "$(stat -c %s "$work/long.adx")"
    printf '  fogbell-cli wav   %8s MiB\n  ffmpeg -f wav     %8s MiB\n' "$ours" "$theirs"
    printf '  ratio %s (goal at most %s: %s)\n' "$ratio" "$wav_goal" "$(verdict "$ratio" "$wav_goal")"
else
    echo "  ffmpeg is missing (apt-get install ffmpeg): it makes the input and is the peer; skipped"
fi

echo
echo "== replace --rebuild of an AFS archive of about $size_mb MB"
python3 "$top/bench/make_big_afs.py" "$work/big.afs" "$size_mb" 8
head -c $((12 << 20)) /dev/urandom >"$work/new.bin"
# The archive's pages are in the page cache after writing it: what is measured is the process's
# own resident set, not the reading of the disk.
rebuild=$(peak_mib "$cli" replace "$work/big.afs" m00001.bin "$work/new.bin" --rebuild)
printf '  archive %d bytes\n' "$(stat -c %s "$work/big.afs")"
printf '  fogbell-cli replace --rebuild %8s MiB (goal under %s MiB: %s)\n' "$rebuild" \
    "$rebuild_goal" "$(verdict "$rebuild" "$rebuild_goal")"

echo
echo "== replace --from a folder of 8 files, 4 growing, with --rebuild"
rm -rf "$work/batch" && mkdir -p "$work/batch"
for n in 2 3 4 5; do head -c $((10 << 20)) /dev/urandom >"$work/batch/m0000$n.bin"; done
for n in 6 7 8 9; do head -c $((4 << 20)) /dev/urandom >"$work/batch/m0000$n.bin"; done
batch=$(peak_mib "$cli" replace "$work/big.afs" --from "$work/batch" --rebuild)
printf '  fogbell-cli replace --from --rebuild %8s MiB (goal under %s MiB: %s)\n' "$batch" \
    "$rebuild_goal" "$(verdict "$batch" "$rebuild_goal")"

echo
echo "== pack of the archive's members from a folder with its manifest"
rm -rf "$work/unpacked" "$work/packed.afs"
"$cli" extract "$work/big.afs" -o "$work/unpacked" --manifest >/dev/null
pack=$(peak_mib "$cli" pack "$work/unpacked" "$work/packed.afs")
same=differs
cmp -s "$work/big.afs" "$work/packed.afs" && same="byte for byte the original"
printf '  fogbell-cli pack %8s MiB (goal under %s MiB: %s); the result is %s\n' "$pack" \
    "$rebuild_goal" "$(verdict "$pack" "$rebuild_goal")" "$same"

echo
FOGBELL_BUILD=$build "$top/bench/replace_cost_bench.sh"

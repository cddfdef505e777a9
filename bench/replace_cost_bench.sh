#!/usr/bin/env bash
# What a replacement in place costs, in anonymous memory (the process's own, not the pages of the
# files it maps) and in time:
#   1. `fogbell-cli replace --from DIR` of four 64 MiB members of an AFS archive at once (one
#      journalled batch); the goal is at most 96 MiB;
#   2. `fogbell-cli replace` of a 1 MiB member of a 200 MiB AFS archive, once as a file of its own
#      and once nested in another archive (OUTER::inner.afs); the goals: the nested one within 3x
#      the time and at most 64 MiB.
#
#   bench/replace_cost_bench.sh            (after building fogbell-cli and the plug-ins)
#
# Anonymous memory has no peak counter of its own: RssAnon is sampled every millisecond while
# the command runs, and the largest sample is printed. Environment: FOGBELL_BUILD (default
# build/), BENCH_DIR (default build/replace_cost_bench; emptied afterwards).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${FOGBELL_BUILD:-$top/build}
work=${BENCH_DIR:-$build/replace_cost_bench}
cli=$build/bin/fogbell-cli
batch_goal=96  # MiB
nested_goal=64 # MiB
nested_time_goal=3

[[ -x $cli ]] || { echo "missing $cli: build fogbell-cli and the plug-ins first" >&2; exit 1; }
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# measure COMMAND...: runs the command (its output thrown away) and prints "PEAK_MIB SECONDS":
# the largest RssAnon seen and the wall time; stops the benchmark when the command fails.
measure() {
    python3 - "$@" <<'EOF'
import subprocess, sys, time
start = time.monotonic()
child = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL)
peak = 0
while child.poll() is None:
    try:
        with open("/proc/%d/status" % child.pid) as status:
            for line in status:
                if line.startswith("RssAnon:"):
                    peak = max(peak, int(line.split()[1]))
    except OSError:
        pass
    time.sleep(0.001)
took = time.monotonic() - start
if child.returncode != 0:
    sys.exit("failed: " + " ".join(sys.argv[1:]))
print("%.1f %.3f" % (peak / 1024, took))
EOF
}

# verdict VALUE GOAL: "met" when VALUE is at most GOAL, else "MISSED".
verdict() { awk -v v="$1" -v g="$2" 'BEGIN {print (v <= g) ? "met" : "MISSED"}'; }

# wrap_afs OUT FILE...: an AFS archive holding the files as members, named after them.
wrap_afs() {
    python3 - "$@" <<'EOF'
import os, struct, sys
out, files = sys.argv[1], sys.argv[2:]
align, count = 2048, len(files)
up = lambda n: (n + align - 1) // align * align
first = up(8 + 8 * count + 8)
offsets, at = [], first
for f in files:
    offsets.append(at)
    at = up(at + os.path.getsize(f))
with open(out, "wb") as w:
    head = bytearray(first)
    head[0:8] = b"AFS\0" + struct.pack("<I", count)
    for i, f in enumerate(files):
        struct.pack_into("<II", head, 8 + 8 * i, offsets[i], os.path.getsize(f))
    struct.pack_into("<II", head, first - 8, at, 48 * count)
    w.write(head)
    for i, f in enumerate(files):
        w.seek(offsets[i])
        with open(f, "rb") as r:
            while chunk := r.read(1 << 20):
                w.write(chunk)
    w.seek(at)
    for f in files:
        w.write(os.path.basename(f).encode().ljust(32, b"\0") +
                struct.pack("<6H", 2020, 1, 2, 3, 4, 5) + struct.pack("<I", os.path.getsize(f)))
EOF
}

echo "== replace --from a folder of four 64 MiB members, in place (one journal)"
python3 "$top/bench/make_big_afs.py" "$work/batch.afs" 320 64
mkdir -p "$work/batch"
for n in 0 1 2 3; do head -c $(((64 << 20) - 100)) /dev/urandom >"$work/batch/m0000$n.bin"; done
read -r peak took < <(measure "$cli" replace "$work/batch.afs" --from "$work/batch")
printf '  archive %d bytes, 4 x %d bytes replaced\n' "$(stat -c %s "$work/batch.afs")" \
    "$(stat -c %s "$work/batch/m00000.bin")"
printf '  anonymous peak %8s MiB (goal at most %s MiB: %s), %s s\n' "$peak" "$batch_goal" \
    "$(verdict "$peak" "$batch_goal")" "$took"
rm -rf "$work/batch" "$work/batch.afs"

echo
echo "== replace of a 1 MiB member of a 200 MiB archive: flat, then nested in another archive"
python3 "$top/bench/make_big_afs.py" "$work/inner.afs" 200 1
head -c 4096 /dev/urandom >"$work/first.bin"
wrap_afs "$work/outer.afs" "$work/first.bin" "$work/inner.afs"
head -c $(((1 << 20) - 100)) /dev/urandom >"$work/new.bin"
read -r flat_peak flat_took < <(measure "$cli" replace "$work/inner.afs" m00001.bin "$work/new.bin")
read -r nested_peak nested_took < <(measure "$cli" replace "$work/outer.afs::inner.afs" m00001.bin \
    "$work/new.bin")
ratio=$(awk -v a="$nested_took" -v b="$flat_took" 'BEGIN {printf "%.2f", a / b}')
printf '  inner archive %d bytes\n' "$(stat -c %s "$work/inner.afs")"
printf '  flat    anonymous peak %8s MiB, %s s\n' "$flat_peak" "$flat_took"
printf '  nested  anonymous peak %8s MiB (goal at most %s MiB: %s), %s s\n' "$nested_peak" \
    "$nested_goal" "$(verdict "$nested_peak" "$nested_goal")" "$nested_took"
printf '  nested time / flat time %s (goal at most %s: %s)\n' "$ratio" "$nested_time_goal" \
    "$(verdict "$ratio" "$nested_time_goal")"

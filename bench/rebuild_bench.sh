#!/usr/bin/env bash
# Times "fogbell-cli replace --rebuild" on an AFS archive of about SIZE_MB megabytes (default 100)
# made of 2 MB members, one member replaced by a larger file, and prints the figures.
#   bench/rebuild_bench.sh [SIZE_MB] [BUILD_DIR]
set -euo pipefail
size_mb=${1:-100}
build=${2:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
cli="$top/$build/bin/fogbell-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/big.afs" "$size_mb" <<'PY'
import os, struct, sys
path, size_mb = sys.argv[1], int(sys.argv[2])
align, member = 2048, 2 << 20
count = max(1, size_mb // 2)
header = 8 + 8 * count + 8
first = (header + 8 + align - 1) // align * align
offsets = [first + i * member for i in range(count)]
table = offsets[-1] + member
with open(path, "wb") as f:
    head = bytearray(first)
    head[0:8] = b"AFS\0" + struct.pack("<I", count)
    for i, o in enumerate(offsets):
        struct.pack_into("<II", head, 8 + 8 * i, o, member - 100)
    struct.pack_into("<II", head, first - 8, table, 48 * count)
    f.write(head)
    block = os.urandom(member)
    for _ in offsets:
        f.write(block)
    for i in range(count):
        f.write(("m%05d.bin" % i).encode().ljust(32, b"\0") + struct.pack("<6H", 2020, 1, 2, 3, 4, 5) + bytes(4))
PY
head -c $((3 << 20)) /dev/urandom > "$work/new.bin"
bytes=$(stat -c %s "$work/big.afs")
start=$(date +%s.%N)
"$cli" replace "$work/big.afs" m00001.bin "$work/new.bin" --rebuild
end=$(date +%s.%N)
python3 - "$start" "$end" "$bytes" <<'PY'
import sys
start, end, size = float(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
seconds = end - start
print(f"archive: {size / 1e6:.1f} MB, rebuild with fsync and rename: {seconds:.2f} s "
      f"({size / 1e6 / seconds:.0f} MB/s)")
PY

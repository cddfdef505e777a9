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

python3 "$top/bench/make_big_afs.py" "$work/big.afs" "$size_mb"
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

#!/usr/bin/env bash
# Runs a Windows test program under Wine and plays, on this machine, the other program that cuts
# the program's mapped files short:  cut_while_mapped.sh WINE PROGRAM [ARGUMENT...]
# The two meet in a fresh folder, which the program finds in FOGBELL_CUT_FOLDER (as Wine names
# it). When the program writes the file "request" there (NAME SIZE), the size of the file NAME in
# the folder is set with truncate(1), the request removed and "resized" created. The program's
# exit status is the script's.
set -euo pipefail
wine=$1
shift
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT

FOGBELL_CUT_FOLDER="Z:$folder" "$wine" "$@" &
program=$!
while kill -0 "$program" 2>/dev/null; do
    if [[ -f "$folder/request" ]]; then
        read -r name size <"$folder/request"
        [[ "$name" =~ ^[A-Za-z0-9._-]+$ && "$size" =~ ^[0-9]+$ ]] || {
            echo "cut_while_mapped.sh: a request it cannot read: $name $size" >&2
            kill "$program"
            exit 1
        }
        truncate -s "$size" "$folder/$name"
        rm "$folder/request"
        touch "$folder/resized"
    fi
    sleep 0.01
done
wait "$program"

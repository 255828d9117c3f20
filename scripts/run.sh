#!/usr/bin/env bash
# The main job: installs what is missing, builds, then scans a folder without a window and
# writes a CSV export and a treemap image of it.
#
#   scripts/run.sh [PATH [OUTPUT-FOLDER [QUARZEL-OPTION...]]]
#
# PATH defaults to the home folder; it may also be an NTFS image or device, an MFT dump
# (.mft) or an exported .csv/.tsv file. OUTPUT-FOLDER defaults to ./quarzel-output.
set -euo pipefail
src=$(realpath -m -- "${1:-$HOME}")
out=$(realpath -m -- "${2:-quarzel-output}")
shift $(( $# > 2 ? 2 : $# ))
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh release quarzel >/dev/null 2>&1 || scripts/build.sh release quarzel
mkdir -p "$out"
csv="$out/quarzel.csv"
png="$out/quarzel.png"
status=0
build/release/app/quarzel "$src" --export="$csv" --treemapimagefile="$png" "$@" || status=$?
if [ "$status" -eq 0 ]; then
  echo "Scanned:       $src"
  echo "CSV export:    $csv"
  echo "Treemap image: $png"
fi
exit "$status"

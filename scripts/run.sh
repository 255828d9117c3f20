#!/usr/bin/env bash
# The main job: installs what is missing, builds, then shows where the space of a folder goes.
#
#   scripts/run.sh [PATH [OUTPUT-FOLDER [QUARZEL-OPTION...]]]
#
# With a display (DISPLAY or WAYLAND_DISPLAY set) the window opens and scans PATH at once.
# Without one (or with QZ_HEADLESS=1) PATH is scanned without a window and a CSV export and a
# treemap image of it are written to OUTPUT-FOLDER.
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
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${QZ_HEADLESS:-0}" != 1 ]; then
  exec build/release/app/quarzel "$src" "$@"
fi
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

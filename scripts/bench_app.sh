#!/usr/bin/env bash
# Times whole headless runs of the quarzel program and prints a table: the median wall time,
# the CPU time of that run and the largest peak memory of RUNS runs of each command, with du
# as the yardstick for the folder walk. The NTFS rows use an image made here (mkntfs, filled
# through ntfs-3g) when that is possible (root, /dev/fuse).
#
#   scripts/bench_app.sh [FOLDER [RUNS [NTFS-FILES]]]    defaults: /usr, 3, 20000
#
# environment: QZ_BENCH_DIR (build folder, default build/bench; only the quarzel target is
#   built there), NICE (a nice value for every measured command, e.g. -20 on a busy machine).
# Warm caches: each command runs once before it is measured; a command that fails stops the
# script with its message instead of being timed.
set -euo pipefail
folder=$(realpath -m -- "${1:-/usr}")
runs=${2:-3}
nfiles=${3:-20000}
cd "$(dirname "$0")/.."
if [ ! -x /usr/bin/time ]; then
  echo "bench_app.sh needs /usr/bin/time (Debian package: time)" >&2
  exit 2
fi
if [ ! -d "$folder" ]; then
  echo "bench_app.sh: $folder is not a folder" >&2
  exit 2
fi
dir=${QZ_BENCH_DIR:-build/bench}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQZ_TESTS=OFF -DQZ_BENCH=ON >/dev/null
fi
ninja -C "$dir" quarzel >&2
q=$(realpath "$dir/app/quarzel")
work=$(mktemp -d)
cleanup() {
  umount "$work/mnt" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cfg="--configfolder=$work/cfg"

# "wall | CPU | peak MiB" of a command: the median run by wall time, the largest peak memory.
measure() {
  if ! nice -n "${NICE:-0}" "$@" >/dev/null 2>"$work/err"; then
    echo "failed: $* : $(tail -2 "$work/err")" >&2
    exit 1
  fi
  : >"$work/runs"
  for _ in $(seq "$runs"); do
    nice -n "${NICE:-0}" /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>&1
    cat "$work/time" >>"$work/runs"
  done
  sort -n "$work/runs" | awk -v n="$runs" '
    { e[NR] = $1; c[NR] = $2 + $3; if ($4 > m) m = $4 }
    END { k = int((n + 1) / 2); printf "%.2f | %.2f | %.1f", e[k], c[k], m / 1024 }'
}

row() {
  local label=$1 figures
  shift
  figures=$(measure "$@") # a failed command ends the script here
  printf '| %s | %s |\n' "$label" "$figures"
}

items=$(find "$folder" -xdev 2>/dev/null | wc -l)
echo "Folder: $folder ($items items), $(nproc) processors, median of $runs runs, nice ${NICE:-0}"
echo "Load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| Command | Wall (s) | CPU (s) | Peak memory (MiB) |"
echo "|---|---:|---:|---:|"
row "du -s (folder walk only)" du -s "$folder"
row "quarzel: folder walk + CSV export" "$q" "$folder" --export="$work/a.csv" "$cfg"
row "quarzel: folder walk + CSV export + PNG 1920x1080" \
  "$q" "$folder" --export="$work/b.csv" --treemapimagefile="$work/b.png" "$cfg"
row "quarzel: folder walk + file types + PNG 3840x2160" \
  "$q" "$folder" --exportfiletypes="$work/c.csv" --treemapimagefile="$work/c.png" \
  --treemapimagewidth=3840 --treemapimageheight=2160 "$cfg"
row "quarzel: CSV export read back + CSV export" "$q" "$work/a.csv" --export="$work/d.csv" "$cfg"

if command -v mkntfs >/dev/null && command -v ntfs-3g >/dev/null && [ "$(id -u)" -eq 0 ] &&
   [ -w /dev/fuse ]; then
  img="$work/vol.img"
  truncate -s 2G "$img"
  mkntfs -q -F -f "$img" >/dev/null 2>&1
  mkdir -p "$work/mnt"
  ntfs-3g "$img" "$work/mnt"
  per=$(( nfiles / 100 > 0 ? nfiles / 100 : 1 ))
  for d in $(seq 100); do
    mkdir "$work/mnt/d$d"
    (cd "$work/mnt/d$d" && seq -f "file%.0f.dat" "$per" | xargs touch)
  done
  umount "$work/mnt"
  "$q" "$img" --dumpmftfile="$work/vol.mft" "$cfg" >/dev/null
  echo "| NTFS image with $((per * 100)) files: | | | |"
  row "quarzel: MFT read of the image + CSV export" "$q" "$img" --export="$work/e.csv" "$cfg"
  row "quarzel: MFT dump written" "$q" "$img" --dumpmftfile="$work/f.mft" "$cfg"
  row "quarzel: MFT dump read + CSV export" "$q" "$work/vol.mft" --export="$work/g.csv" "$cfg"
else
  echo
  echo "(NTFS rows left out: they need mkntfs, ntfs-3g, root and /dev/fuse)"
fi

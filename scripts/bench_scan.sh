#!/usr/bin/env bash
# Whole-program scan benchmark: the quarzel program (scan, totalled tree, a one-row export)
# beside the peers and the floors, on a generated folder tree and on NTFS images, warm and
# with the page cache dropped before every run. One table per source: the minimum and the
# median wall time of RUNS runs, the median CPU time, the peak memory and the peak memory per
# entry (files and folders, or MFT records), and the ratio of the medians to the floor's.
#
#   scripts/bench_scan.sh [QUARZEL]        default: the quarzel of build/bench (built there)
#
# environment:
#   TREE      generated tree as NFILES:NDIRS (default 300000:30000; /work/shared/tools/gen_tree.py)
#   IMAGES    NTFS images as NFILES:NDIRS list (default "30000:3000 330000:33000 1000000:100000";
#             made by scripts/bench_mft.sh's recipe and cached; a missing one is made first)
#   RUNS      runs of each command and cache state (default 5)
#   COLD      1: also with the page cache dropped before every run (needs root; default 1)
#   SLOW      1: also run fls and ntfsls on images of more than 100,000 records (default 0)
#   CACHE     trees, images and minscan (default /var/tmp/quarzel-bench)
#   THREADS   walkers of minscan's first floor (default 2; the second floor uses 8)
#   BEFORE    another quarzel (say, the build of an earlier commit) measured in the same rounds
# Commands run in rounds (one run of each command per round) so that a change of load on the
# machine hits every command alike. The load average is printed before each table.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
runs=${RUNS:-5}
cold=${COLD:-1}
slow=${SLOW:-0}
cache=${CACHE:-/var/tmp/quarzel-bench}
threads=${THREADS:-2}
tree_sizes=${TREE:-300000:30000}
image_sizes=${IMAGES:-"30000:3000 330000:33000 1000000:100000"}
tools=/work/shared/tools

if [ $# -ge 1 ]; then
  q=$(realpath "$1")
else
  dir=${QZ_BENCH_DIR:-build/bench}
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQZ_TESTS=OFF -DQZ_BENCH=ON >/dev/null
  fi
  ninja -C "$dir" quarzel >&2
  q="$repo/$dir/app/quarzel"
fi
[ -x /usr/bin/time ] || { echo "bench_scan.sh needs /usr/bin/time (package time)" >&2; exit 2; }
if [ "$cold" = 1 ] && [ ! -w /proc/sys/vm/drop_caches ]; then
  echo "dropping the page cache needs root: cold runs left out" >&2
  cold=0
fi
mkdir -p "$cache"
if [ ! -x "$cache/minscan" ] || [ "$tools/minscan.c" -nt "$cache/minscan" ]; then
  cc -O2 -pthread -o "$cache/minscan" "$tools/minscan.c"
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cfg="--configfolder=$tmp/cfg"

drop() {
  sync
  echo 3 >/proc/sys/vm/drop_caches
}

# table TITLE ENTRIES FLOOR-INDEX: runs names[]/cmds[] in rounds, warm then cold, and prints.
table() {
  local title=$1 entries=$2 floor=$3 state i r
  local states=(warm)
  [ "$cold" = 1 ] && states+=(cold)
  echo
  echo "$title: $entries entries; $(nproc) processors; load average $(cut -d' ' -f1-3 /proc/loadavg); $runs runs"
  printf '| %-34s | %5s | %8s | %8s | %8s | %8s | %9s | %7s |\n' command cache "min s" "median s" \
    "CPU s" "peak MB" "B/entry" "x floor"
  echo "|---|---|---:|---:|---:|---:|---:|---:|"
  for state in "${states[@]}"; do
    for i in "${!names[@]}"; do : >"$tmp/runs$i"; done
    [ "$state" = warm ] && for i in "${!names[@]}"; do bash -c "${cmds[$i]}" >/dev/null 2>&1 || true; done
    for ((r = 0; r < runs; r++)); do
      for i in "${!names[@]}"; do
        [ "$state" = cold ] && drop
        if ! /usr/bin/time -f "%e %U %S %M" -o "$tmp/t" bash -c "${cmds[$i]}" >/dev/null 2>"$tmp/err"; then
          echo "${names[$i]} failed: $(tail -2 "$tmp/err")" >&2
        fi
        read -r e u s m < <(tail -n 1 "$tmp/t")
        awk -v e="$e" -v u="$u" -v s="$s" -v m="$m" 'BEGIN {printf "%s %.2f %s\n", e, u + s, m}' >>"$tmp/runs$i"
      done
    done
    local fmed
    fmed=$(sort -n "$tmp/runs$floor" | sed -n "$(((runs + 1) / 2))p" | cut -d' ' -f1)
    for i in "${!names[@]}"; do
      sort -n "$tmp/runs$i" | awk -v n="$runs" -v name="${names[$i]}" -v st="$state" \
        -v ent="$entries" -v f="$fmed" '
        { e[NR] = $1; c[NR] = $2; if ($3 > m) m = $3 }
        END { k = int((n + 1) / 2)
              printf "| %-34s | %5s | %8.2f | %8.2f | %8.2f | %8.1f | %9.0f | %7.2f |\n",
                name, st, e[1], e[k], c[k], m / 1024, m * 1024 / ent, (f > 0 ? e[k] / f : 0) }'
    done
  done
}

# ---------------------------------------------------------------- folder tree
nfiles=${tree_sizes%:*}
ndirs=${tree_sizes#*:}
tree="$cache/tree-$nfiles-$ndirs-42"
if [ ! -d "$tree" ]; then
  echo "generating $tree..." >&2
  rm -rf "$tree.tmp"
  python3 "$tools/gen_tree.py" "$tree.tmp" "$nfiles" "$ndirs" 42 >&2
  mv "$tree.tmp" "$tree"
fi
names=()
cmds=()
add() { names+=("$1"); cmds+=("$2"); }
add "quarzel (scan, tree, 1-row export)" "'$q' '$tree' --export='$tmp/t.csv' --exportlimit=1 $cfg"
[ -n "${BEFORE:-}" ] && add "quarzel BEFORE" "'$BEFORE' '$tree' --export='$tmp/t.csv' --exportlimit=1 $cfg"
add "du -s" "du -s '$tree'"
command -v ncdu >/dev/null && add "ncdu -0 -o /dev/null" "ncdu -0 -o /dev/null '$tree'"
command -v gdu >/dev/null && add "gdu --non-interactive -s" "gdu --non-interactive --no-progress --summarize '$tree'"
add "floor: minscan -t 8" "'$cache/minscan' -t 8 '$tree'"
add "floor: minscan -t $threads" "'$cache/minscan' -t $threads '$tree'"
table "Folder tree $tree" "$((nfiles + ndirs))" $((${#names[@]} - 1))

# ---------------------------------------------------------------- NTFS images
for sizes in $image_sizes; do
  nf=${sizes%:*}
  nd=${sizes#*:}
  img="$cache/ntfs-$nf-$nd-42.img"
  if [ ! -f "$img" ]; then
    echo "making $img (slow: scripts/bench_mft.sh's recipe through ntfs-3g)..." >&2
    mnt="$tmp/mnt"
    mkdir -p "$mnt"
    truncate -s "$((nf / 40000 + 1))G" "$img.tmp"
    mkntfs -q -F -f -c 4096 "$img.tmp" >/dev/null 2>&1
    ntfs-3g -o big_writes "$img.tmp" "$mnt"
    GEN_MEDIAN=64 GEN_BIGMAX_GIB=1 python3 "$tools/gen_tree.py" "$mnt/tree" "$nf" "$nd" 42 >&2
    umount "$mnt"
    mv "$img.tmp" "$img"
  fi
  # MFT records: the $MFT's size over the record size (1 KiB here).
  records=$(($(istat "$img" 0 | sed -n 's/.*\$DATA (128-[0-9]*).*size: \([0-9]*\).*/\1/p' | head -1) / 1024))
  names=()
  cmds=()
  add "quarzel (MFT pass, tree, 1-row export)" "'$q' '$img' --export='$tmp/i.csv' --exportlimit=1 $cfg"
  [ -n "${BEFORE:-}" ] && add "quarzel BEFORE" "'$BEFORE' '$img' --export='$tmp/i.csv' --exportlimit=1 $cfg"
  if [ "$slow" = 1 ] || [ "$nf" -le 100000 ]; then
    add "ntfsls -f -R -a -s -l" "ntfsls -f -R -a -s -l '$img'"
    add "fls -r -p" "fls -r -p '$img'"
  fi
  add "floor: icat IMAGE 0 (\$MFT)" "icat '$img' 0"
  table "NTFS image $img" "$records" $((${#names[@]} - 1))
done

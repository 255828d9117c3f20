#!/usr/bin/env bash
# MFT-pass benchmark: Quarzel's full pass (to a totalled tree) over an NTFS image and over its
# dump, against the floor (The Sleuth Kit's icat of $MFT alone) and the peers that list the
# same image: fls -r -p, ntfsls -f -R -a -s -l and du -s over a read-only ntfs-3g mount (fresh
# and warm). Prints wall time, CPU time and peak memory of each (median of RUNS runs, warm
# page cache) and the ratios with their targets.
#
# usage: scripts/bench_mft.sh [NFILES [NDIRS]]      (default 1000000 100000)
# environment: CACHE (image, dump and mount point; default /var/tmp/quarzel-bench), RUNS
#   (default 3), SEED (default 42), QZ_BUILD_DIR (default build/bench, the optimised benchmark
#   flavour; only mft_driver is built), IMAGE_SIZE (default 26G for 1M files), NICE (a nice
#   value for every measured command, e.g. -20 on a machine busy with other work)
#
# The image is made once and cached: mkntfs, then the deterministic tree of
# /work/shared/tools/gen_tree.py written through an ntfs-3g mount with small contents
# (GEN_MEDIAN=64 bytes, sparse files of at most 1 GiB). 1,000,000 files take about 75 minutes
# on a busy 2-core machine. Needs root (FUSE mounts), mkntfs/ntfs-3g/ntfsls and sleuthkit.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
nfiles=${1:-1000000}
ndirs=${2:-100000}
seed=${SEED:-42}
runs=${RUNS:-3}
cache=${CACHE:-/var/tmp/quarzel-bench}
tools=/work/shared/tools
builddir=${QZ_BUILD_DIR:-build/bench}
size=${IMAGE_SIZE:-$((nfiles / 40000 + 1))G}

for p in mkntfs ntfs-3g ntfsls icat fls; do
  command -v "$p" >/dev/null || { echo "$p is missing (ntfs-3g, sleuthkit)" >&2; exit 2; }
done
mkdir -p "$cache"
img="$cache/ntfs-$nfiles-$ndirs-$seed.img"
dump="$cache/ntfs-$nfiles-$ndirs-$seed.mft"
mnt="$cache/mnt-$$"
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
  rmdir "$mnt" 2>/dev/null || true
  rm -rf "$tmp"
}
tmp=$(mktemp -d)
trap cleanup EXIT
mkdir -p "$mnt"

if [ ! -f "$img" ]; then
  echo "making $img ($size, $nfiles files in $ndirs folders; this takes long)..." >&2
  rm -f "$img.tmp"
  truncate -s "$size" "$img.tmp"
  mkntfs -q -F -f -c 4096 "$img.tmp" >/dev/null 2>&1
  ntfs-3g -o big_writes "$img.tmp" "$mnt"
  GEN_MEDIAN=64 GEN_BIGMAX_GIB=1 python3 "$tools/gen_tree.py" "$mnt/tree" "$nfiles" "$ndirs" "$seed" >&2
  umount "$mnt"
  mv "$img.tmp" "$img"
fi

if [ ! -f "$builddir/build.ninja" ]; then
  cmake -S . -B "$builddir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQZ_TESTS=OFF -DQZ_BENCH=ON >/dev/null
fi
ninja -C "$builddir" mft_driver >&2
driver="$repo/$builddir/bench/mft/mft_driver"
[ -x "$driver" ] || driver="$builddir/bench/mft/mft_driver"
if [ ! -f "$dump" ] || [ "$img" -nt "$dump" ]; then
  "$driver" -d "$dump" "$img" >&2
fi

div() { awk -v a="$1" -v b="$2" 'BEGIN {printf("%.2f", (b > 0 ? a / b : 0))}'; }
names=(); cmds=()
add() { names+=("$1"); cmds+=("$2"); }
add "quarzel pass, image" "'$driver' -q '$img'"
add "quarzel pass, dump" "'$driver' -q '$dump'"
add "floor: icat IMAGE 0" "icat '$img' 0"
add "fls -r -p" "fls -r -p '$img'"
add "ntfsls -f -R -a -s -l" "ntfsls -f -R -a -s -l '$img'"
add "du -s, fresh ntfs-3g mount" "FRESH"
add "du -s, warm ntfs-3g mount" "WARM"

# Warm the page cache with the image's metadata.
icat "$img" 0 >/dev/null
"$driver" -q "$img" >/dev/null

declare -A wall cpu mem
for i in "${!names[@]}"; do
  : > "$tmp/runs"
  for ((r = 0; r < runs; r++)); do
    cmd=${cmds[$i]}
    if [ "$cmd" = FRESH ] || [ "$cmd" = WARM ]; then
      ntfs-3g -o ro "$img" "$mnt"
      [ "$cmd" = WARM ] && du -s "$mnt" >/dev/null
      cmd="du -s '$mnt'"
    fi
    nice -n "${NICE:-0}" /usr/bin/time -f "%e %U %S %M" -o "$tmp/t" bash -c "$cmd" \
      >/dev/null 2>"$tmp/err" || {
      echo "${names[$i]} failed: $(tail -2 "$tmp/err")" >&2; }
    mountpoint -q "$mnt" && umount "$mnt"
    # The figures are time's last line (a failed command gets a status line before them).
    read -r e u s m < <(tail -n 1 "$tmp/t")
    awk -v e="$e" -v u="$u" -v s="$s" -v m="$m" 'BEGIN {printf "%s %.2f %s\n", e, u + s, m}' >> "$tmp/runs"
  done
  read -r e c m < <(sort -n "$tmp/runs" | sed -n "$(((runs + 1) / 2))p")
  wall[$i]=$e; cpu[$i]=$c; mem[$i]=$m
done

floor=${wall[2]}
echo
echo "Image: $img ($(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg), warm cache, median of $runs runs, nice ${NICE:-0})"
printf "| %-28s | %8s | %8s | %10s | %9s |\n" "tool" "wall s" "CPU s" "peak MB" "x floor"
printf "|%s|%s|%s|%s|%s|\n" "------------------------------" "----------" "----------" "------------" "-----------"
for i in "${!names[@]}"; do
  printf "| %-28s | %8.2f | %8.2f | %10.1f | %9.2f |\n" "${names[$i]}" "${wall[$i]}" "${cpu[$i]}" \
    "$(div "${mem[$i]}" 1024)" "$(div "${wall[$i]}" "$floor")"
done
echo "(du's CPU time leaves out the ntfs-3g process that serves it)"
echo
q=${wall[0]}
printf "| %-36s | %8s | %8s |\n" "ratio" "measured" "target"
printf "|%s|%s|%s|\n" "--------------------------------------" "----------" "----------"
printf "| %-36s | %8s | %8s |\n" "fls -r -p / quarzel" "$(div "${wall[3]}" "$q")" ">= 25"
printf "| %-36s | %8s | %8s |\n" "ntfsls / quarzel" "$(div "${wall[4]}" "$q")" ">= 3"
printf "| %-36s | %8s | %8s |\n" "du -s warm / quarzel" "$(div "${wall[6]}" "$q")" ">= 10"
printf "| %-36s | %8s | %8s |\n" "quarzel / floor (icat)" "$(div "$q" "$floor")" "<= 2"
printf "| %-36s | %8s | %8s |\n" "quarzel dump / quarzel image" "$(div "${wall[1]}" "$q")" ""

# What the pass found, next to what fls lists: its in-use entries without its virtual folders,
# a file listed only by its streams ($Secure:$SDS) counted once, the root left out.
echo
out=$("$driver" "$img")
echo "$out"
q_items=$(sed -n 's/.*files=\([0-9]*\) folders=\([0-9]*\).*/\1 \2/p' <<<"$out" | awk '{print $1 + $2}')
fls -r -p "$img" > "$tmp/fls"
in_use=$(awk -F'\t' '$1 !~ /\*/ && $2 !~ /^\$OrphanFiles/ {sub(/:[^\/]*$/, "", $2); print $2}' \
  "$tmp/fls" | sort -u | wc -l)
echo "files and folders below the root: quarzel $q_items, fls -r -p $in_use" \
  "($([ "$q_items" = "$in_use" ] && echo agree || echo DIFFER))"

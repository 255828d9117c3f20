#!/usr/bin/env bash
# Folder-walk benchmark: Quarzel's folder scan (to a totalled tree) against du, gdu, ncdu,
# diskus and find on one generated tree with a warm cache, and against the floor (minscan:
# getdents64 + fstatat on the same number of threads). Prints wall time, CPU time and peak
# memory of each (median of RUNS runs), the ratios, and Quarzel's totals next to du's.
#
# usage: scripts/bench_dirscan.sh [NFILES [NDIRS]]      (default 1000000 100000)
# environment: CACHE (tree and minscan, default /var/tmp/quarzel-bench), RUNS (default 3),
#   THREADS (walkers for Quarzel and minscan, default 2), SEED (default 42),
#   QZ_BENCH_DIR or QZ_BUILD_DIR (build folder, default build/bench; configured when it has no
#   build files yet, and only the driver is built),
#   NICE (a nice value for every measured command, e.g. -20 on a machine busy with other work)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
nfiles=${1:-1000000}
ndirs=${2:-100000}
seed=${SEED:-42}
runs=${RUNS:-3}
threads=${THREADS:-2}
cache=${CACHE:-/var/tmp/quarzel-bench}
tools=/work/shared/tools
builddir=${QZ_BENCH_DIR:-${QZ_BUILD_DIR:-build/bench}}

mkdir -p "$cache"
tree="$cache/tree-$nfiles-$ndirs-$seed"
if [ ! -d "$tree" ]; then
  echo "generating $tree (1M files take about 70 s)..." >&2
  rm -rf "$tree.tmp"
  python3 "$tools/gen_tree.py" "$tree.tmp" "$nfiles" "$ndirs" "$seed" >&2
  mv "$tree.tmp" "$tree"
fi
if [ ! -x "$cache/minscan" ] || [ "$tools/minscan.c" -nt "$cache/minscan" ]; then
  cc -O2 -pthread -o "$cache/minscan" "$tools/minscan.c"
fi
if [ ! -f "$builddir/build.ninja" ]; then
  cmake -S . -B "$builddir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQZ_TESTS=OFF -DQZ_BENCH=ON >/dev/null
fi
ninja -C "$builddir" dirscan_driver >&2
driver="$repo/$builddir/bench/dirscan/dirscan_driver"
[ -x "$driver" ] || driver="$builddir/bench/dirscan/dirscan_driver"

# Peers from their Debian packages, when those exist.
want=()
for p in gdu ncdu diskus; do
  command -v "$p" >/dev/null 2>&1 && continue
  if apt-cache show "$p" >/dev/null 2>&1; then want+=("$p"); else echo "no package $p: skipped" >&2; fi
done
if [ ${#want[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${want[@]}" >&2 || true
fi

div() { awk -v a="$1" -v b="$2" 'BEGIN {printf("%.4f", (b > 0 ? a / b : 0))}'; }
names=(); cmds=()
add() { names+=("$1"); cmds+=("$2"); }
add "quarzel ($threads walkers)" "'$driver' -q -t $threads '$tree'"
add "du -s" "du -s '$tree'"
command -v gdu >/dev/null && add "gdu --non-interactive" "gdu --non-interactive --no-progress --summarize '$tree'"
command -v ncdu >/dev/null && add "ncdu -o /dev/null" "ncdu -0 -o /dev/null '$tree'"
command -v diskus >/dev/null && add "diskus" "diskus '$tree'"
add "find -printf" "find '$tree' -printf '%s %b\n'"
add "floor: minscan -t $threads" "'$cache/minscan' -t $threads '$tree'"

# Warm the cache.
du -s "$tree" >/dev/null
"$cache/minscan" -t "$threads" "$tree" >/dev/null

load=$(cut -d' ' -f1-3 /proc/loadavg)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
declare -A wall cpu mem
# Rounds of one run per tool, so that a change of load on the machine hits every tool alike.
for ((r = 0; r < runs; r++)); do
  for i in "${!names[@]}"; do
    nice -n "${NICE:-0}" /usr/bin/time -f "%e %U %S %M" -o "$tmp/t" bash -c "${cmds[$i]}" \
      >/dev/null 2>"$tmp/err" || {
      echo "${names[$i]} failed: $(tail -2 "$tmp/err")" >&2; }
    read -r e u s m < "$tmp/t"
    awk -v e="$e" -v u="$u" -v s="$s" -v m="$m" 'BEGIN {printf "%s %.2f %s\n", e, u + s, m}' >> "$tmp/runs$i"
  done
done
for i in "${!names[@]}"; do
  # Median run by wall time.
  read -r e c m < <(sort -n "$tmp/runs$i" | sed -n "$(((runs + 1) / 2))p")
  wall[$i]=$e; cpu[$i]=$c; mem[$i]=$m
done

last=$((${#names[@]} - 1))
floor=${wall[$last]}
best=""
for i in "${!names[@]}"; do
  [ "$i" -eq 0 ] || [ "$i" -eq "$last" ] && continue
  if [ -z "$best" ] || awk -v a="${wall[$i]}" -v b="$best" 'BEGIN {exit !(a < b)}'; then best=${wall[$i]}; fi
done

echo
echo "Tree: $tree ($(nproc) processors, warm cache, median of $runs rounds; load average before: $load; nice ${NICE:-0})"
printf "| %-28s | %8s | %8s | %10s | %9s |\n" "tool" "wall s" "CPU s" "peak MB" "x floor"
printf "|%s|%s|%s|%s|%s|\n" "------------------------------" "----------" "----------" "------------" "-----------"
for i in "${!names[@]}"; do
  printf "| %-28s | %8.2f | %8.2f | %10.1f | %9.2f |\n" "${names[$i]}" "${wall[$i]}" "${cpu[$i]}" \
    "$(div "${mem[$i]}" 1024)" "$(div "${wall[$i]}" "$floor")"
done
echo
printf "quarzel / fastest peer: %.2f   quarzel / floor: %.2f   (targets: <= 1.00 and <= 1.50)\n" \
  "$(div "${wall[0]}" "$best")" "$(div "${wall[0]}" "$floor")"

# Totals. Quarzel's folders carry no size of their own and every name of a hard-linked file
# counts its size (its bytes on disk once), so the du figures to compare with are: bytes on
# disk (du -s -B1) less the folders' blocks, and sizes of every name (du -s -l --bytes) less
# the folders' sizes.
out=$("$driver" -q -t "$threads" "$tree")
q_files=$(sed -n 's/.*files=\([0-9]*\).*/\1/p' <<<"$out")
q_dirs=$(sed -n 's/.*folders=\([0-9]*\).*/\1/p' <<<"$out")
q_size=$(sed -n 's/.*size=\([0-9]*\).*/\1/p' <<<"$out")
q_alloc=$(sed -n 's/.*allocated=\([0-9]*\).*/\1/p' <<<"$out")
du_alloc=$(du -s -B1 "$tree" | cut -f1)
du_size=$(du -s -l --bytes "$tree" | cut -f1)
du_bytes=$(du -s --bytes "$tree" | cut -f1)
read -r d_count d_size d_blocks < <(find "$tree" -type d -printf '%s %b\n' |
  awk '{n++; s+=$1; b+=$2} END {printf "%d %d %d\n", n, s, b}')
f_count=$(find "$tree" ! -type d -printf 'x' | wc -c)
d_alloc=$((d_blocks * 512))
echo
printf "| %-34s | %16s | %16s |\n" "figure" "quarzel" "du / find"
printf "|%s|%s|%s|\n" "------------------------------------" "------------------" "------------------"
printf "| %-34s | %16s | %16s |\n" "files (find ! -type d)" "$q_files" "$f_count"
printf "| %-34s | %16s | %16s |\n" "folders below the root" "$q_dirs" "$((d_count - 1))"
printf "| %-34s | %16s | %16s |\n" "allocated (du -s -B1 - folders)" "$q_alloc" "$((du_alloc - d_alloc))"
printf "| %-34s | %16s | %16s |\n" "size (du -s -l --bytes - folders)" "$q_size" "$((du_size - d_size))"
printf "| %-34s | %16s | %16s |\n" "du -s -B1 / du -s -l --bytes" "" "$du_alloc / $du_size"
printf "| %-34s | %16s | %16s |\n" "du -s --bytes (links counted once)" "" "$du_bytes"
printf "| %-34s | %16s | %16s |\n" "folders' own blocks / sizes" "" "$d_alloc / $d_size"
if [ "$q_alloc" = "$((du_alloc - d_alloc))" ] && [ "$q_size" = "$((du_size - d_size))" ] &&
   [ "$q_files" = "$f_count" ] && [ "$q_dirs" = "$((d_count - 1))" ]; then
  echo "totals agree"
else
  echo "TOTALS DIFFER"
  exit 1
fi

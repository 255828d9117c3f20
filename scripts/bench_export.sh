#!/usr/bin/env bash
# Benchmarks the CSV export and import over a generated scan of 1,000,000 records and prints a
# table of rows per second and MB/s against the targets (export with default columns at least
# 1,000,000 rows/s, import at least 700,000 rows/s). Rates are given over wall-clock time and
# over the process's CPU time (the second is what a busy shared machine does not distort).
# Builds only the benchmark target, in build/bench (the optimised benchmark flavour) or in
# $QZ_BENCH_DIR when set.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${QZ_BENCH_DIR:-build/bench}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQZ_TESTS=OFF -DQZ_BENCH=ON >/dev/null
fi
ninja -C "$dir" bench_export >&2
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$dir/bench/export/bench_export" --benchmark_format=json --benchmark_out="$json" \
  --benchmark_out_format=json >/dev/null
python3 - "$json" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
targets = {"BM_ExportDefaultColumns": 1000000, "BM_Import": 700000}
labels = {
    "BM_ExportDefaultColumns": "Export, default columns (tree load included)",
    "BM_ExportAllColumns": "Export, every column (tree load included)",
    "BM_Import": "Import of the default-columns file",
    "BM_ImportWithTotals": "Import + CalculateDirSizes",
}
print("| Operation (1,000,000 records) | Rows/s (wall) | MB/s (wall) | Rows/s (CPU) | MB/s (CPU) | Target rows/s | Met |")
print("|---|---:|---:|---:|---:|---:|---|")
for b in data["benchmarks"]:
    name = b["name"].split("/")[0]
    unit = scale[b.get("time_unit", "ns")]
    wall = b["real_time"] * unit
    cpu = b["cpu_time"] * unit
    rows_per_iter = b["items_per_second"] * cpu   # items_per_second is per CPU second
    bytes_per_iter = b["bytes_per_second"] * cpu
    rw, rc = rows_per_iter / wall, rows_per_iter / cpu
    mw, mc = bytes_per_iter / wall / 1e6, bytes_per_iter / cpu / 1e6
    t = targets.get(name)
    met = "" if t is None else ("yes" if rw >= t else ("CPU only" if rc >= t else "NO"))
    print(f"| {labels.get(name, name)} | {rw:,.0f} | {mw:,.0f} | {rc:,.0f} | {mc:,.0f} | {'' if t is None else f'{t:,}'} | {met} |")
PY

#!/usr/bin/env bash
# Benchmarks the treemap over a generated scan of 1,000,000 records and prints a table with
# the targets: layout alone, shading alone, whole drawings (labels on and off, fast mode on and
# off) at 1920x1080 and 7680x4320, the first drawing of a freshly loaded tree, and the PNG
# write. Times are wall clock and the process's CPU time (the drawing runs on one thread).
# Builds only the benchmark target, in build/bench (the optimised benchmark flavour) or in
# $QZ_BENCH_DIR when set.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${QZ_BENCH_DIR:-build/bench}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQZ_TESTS=OFF -DQZ_BENCH=ON >/dev/null
fi
ninja -C "$dir" bench_treemap >&2
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$dir/bench/treemap/bench_treemap" --benchmark_format=json --benchmark_out="$json" \
  --benchmark_out_format=json >/dev/null 2>&1
python3 - "$json" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
real, cpu, extra = {}, {}, {}
for b in data["benchmarks"]:
    name = b["name"].split("/iterations")[0]
    f = scale.get(b.get("time_unit", "ms"), 1.0)
    real[name] = b["real_time"] * f
    cpu[name] = b["cpu_time"] * f
    extra[name] = b
rows = [
    ("Layout alone, 1920x1080", "BM_Layout/1920/1080", None),
    ("Layout alone, 7680x4320", "BM_Layout/7680/4320", None),
    ("Shading alone, 1920x1080, fast", "BM_Shading/w:1920/h:1080/fast:1", None),
    ("Shading alone, 1920x1080, full", "BM_Shading/w:1920/h:1080/fast:0", None),
    ("Shading alone, 7680x4320, fast", "BM_Shading/w:7680/h:4320/fast:1", None),
    ("Shading alone, 7680x4320, full", "BM_Shading/w:7680/h:4320/fast:0", None),
    ("Drawing 1920x1080, labels off, fast (layout + shading)", "BM_Draw/w:1920/h:1080/labels:0/fast:1", 150),
    ("Drawing 1920x1080, labels on, fast", "BM_Draw/w:1920/h:1080/labels:1/fast:1", 150),
    ("Drawing 1920x1080, labels off, full", "BM_Draw/w:1920/h:1080/labels:0/fast:0", 150),
    ("Drawing 1920x1080, labels on, full", "BM_Draw/w:1920/h:1080/labels:1/fast:0", 150),
    ("Drawing 7680x4320, labels off, fast", "BM_Draw/w:7680/h:4320/labels:0/fast:1", None),
    ("Drawing 7680x4320, labels on, fast", "BM_Draw/w:7680/h:4320/labels:1/fast:1", None),
    ("Drawing 7680x4320, labels off, full", "BM_Draw/w:7680/h:4320/labels:0/fast:0", None),
    ("Drawing 7680x4320, labels on, full", "BM_Draw/w:7680/h:4320/labels:1/fast:0", None),
    ("First drawing of a fresh tree, 1920x1080, labels on", "BM_DrawFirst", None),
    ("PNG write 1920x1080", "BM_PngWrite/1920/1080", 100),
    ("PNG write 7680x4320", "BM_PngWrite/7680/4320", None),
]
print("| Operation (1,000,000 records) | Real (ms) | CPU (ms) | Target (ms) | Met (CPU) |")
print("|---|---:|---:|---:|---|")
for label, key, target in rows:
    if key not in real:
        print(f"| {label} | n/a | n/a | {target or ''} | ? |")
        continue
    met = "" if target is None else ("yes" if cpu[key] < target else "NO")
    print(f"| {label} | {real[key]:.1f} | {cpu[key]:.1f} | {target or ''} | {met} |")
lay = extra.get("BM_Layout/1920/1080", {})
shade = extra.get("BM_Shading/w:1920/h:1080/fast:1", {})
png = extra.get("BM_PngWrite/1920/1080", {})
print()
print(f"At 1920x1080: {lay.get('nodes_drawn', 0):.0f} nodes drawn, {lay.get('children_read', 0):.0f} "
      f"children's sizes read, {shade.get('cushions', 0):.0f} cushions; PNG file "
      f"{png.get('file_kib', 0):.0f} KiB.")
PY

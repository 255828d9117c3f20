#!/usr/bin/env bash
# Benchmarks filter matching over a generated scan of 1,000,000 records and prints a table of
# records per second with the targets: an extension list, a size comparison, a full-path
# pattern, regular expressions, FilterResults with an include and an exclude filter, and filters
# of 10,000 terms (2,000 records matched one by one) and of 100,000 characters (a pass over
# 50,000 records); the last row is the parsing of the longer one, in characters per second.
# Builds only the benchmark target, in build/bench (the optimised benchmark flavour); set
# BENCH_DIR to use another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BENCH_DIR:-build/bench}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQZ_TESTS=OFF -DQZ_BENCH=ON >/dev/null
fi
ninja -C "$dir" bench_filters >&2
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$dir/bench/filters/bench_filters" --benchmark_format=json --benchmark_out="$json" \
  --benchmark_out_format=json --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true >/dev/null
python3 - "$json" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
rate, extra = {}, {}
for b in data["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    name = b["run_name"]
    rate[name] = b["items_per_second"]
    extra[name] = b.get("matches", b.get("visible"))
rows = [
    ("Extension list '*.jpg|*.png|*.mp4'", "BM_Extensions", 20e6),
    ("Size comparison '>1M'", "BM_Size", 20e6),
    ("Full-path pattern '\\cache\\'", "BM_FullPath", 5e6),
    ("Full-path pattern '\\cache\\', records matched one by one", "BM_FullPathAlone", None),
    ("Full-path pattern '\\cache\\', records in shuffled order", "BM_FullPathShuffled", None),
    ("Extension list, records in shuffled order", "BM_ExtensionsShuffled", None),
    ("Full-path wildcard '*\\cache\\*.log'", "BM_FullPathWildcard", None),
    ("Regular expression '/\\d{4}-\\d{2}/' (full path)", "BM_Regex", None),
    ("Regular expression '/^img_20[01]/' (own name)", "BM_RegexName", None),
    ("FilterResults: include '*.jpg|*.png|*.mp4 >100K', exclude '\\cache\\'", "BM_FilterResults", None),
    ("10,000 terms, full path, 2,000 records one by one (a file-list search)", "BM_TenThousandTerms", None),
    ("100,000-character filter, full path, pass over 50,000 records", "BM_HundredThousandCharacters", None),
    ("Parsing the 100,000-character filter (characters/s)", "BM_ParseHundredThousandCharacters", None),
]
print("| Operation (1,000,000 records) | Records/s (millions) | Matches | Target (millions/s) | Met |")
print("|---|---:|---:|---:|---|")
for label, key, target in rows:
    r = rate.get(key)
    m = extra.get(key)
    ms = "n/a" if m is None else f"{int(m):,}"
    if r is None:
        print(f"| {label} | n/a | {ms} | {'-' if target is None else target / 1e6:g} | ? |")
        continue
    t = "-" if target is None else f"{target / 1e6:g}"
    met = "-" if target is None else ("yes" if r >= target else "NO")
    print(f"| {label} | {r / 1e6:.3g} | {ms} | {t} | {met} |")
PY

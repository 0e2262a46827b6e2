#!/usr/bin/env bash
# Builds the release preset and prints every benchmark's figures beside its
# target.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
out=build/release/bench
mkdir -p "$out/results"

"$out/decode_bench" --benchmark_out="$out/results/decode.json" --benchmark_out_format=json
python3 - "$out/results/decode.json" <<'PY'
import json, sys
runs = {b["name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
for n in ("10000", "100000"):
    bare, dec = runs[f"BM_BareParse/{n}"], runs[f"BM_DecodeRecords/{n}"]
    ratio = dec["real_time"] / bare["real_time"]
    print(f"decode {n} records: {dec['bytes_per_second']/1e6:.0f} MB/s, bare parse "
          f"{bare['bytes_per_second']/1e6:.0f} MB/s, ratio {ratio:.2f}x (target <= 2x) "
          f"{'MET' if ratio <= 2 else 'MISSED'}")
PY

"$out/stream_ingest_memory"

if [ -x "$out/items_bench" ]; then
  "$out/items_bench"
fi

# The host end to end on a real mount: find, read and copy through the folder.
if [ -e /dev/fuse ]; then
  python3 bench/host_bench.py --build build/release
else
  echo "host bench: skipped, /dev/fuse is missing (load the fuse module, or run where FUSE is available)"
fi

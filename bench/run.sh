#!/usr/bin/env bash
# Runs every benchmark program of a Release build, keeps their JSON and console output, measures
# the command-line baselines beside them and writes bench/README.md from the lot.
# With program names after the build folder (bench/run.sh build/bench bench_jobs_sync), runs only
# those and keeps the other sections of the present README as they are, marked with their date.
set -euo pipefail
BUILD_DIR="${1:-build/bench}"
shift || true
OUT_DIR="$BUILD_DIR/bench-results"
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mkdir -p "$OUT_DIR"
PROGRAMS=()
if [ "$#" -gt 0 ]; then
  for name in "$@"; do PROGRAMS+=("$BUILD_DIR/bench/$name"); done
  # Results of earlier full runs would otherwise be reported as if they were new.
  find "$OUT_DIR" -maxdepth 1 -name '*.json' -delete
  export VELMORA_BENCH_SKIP_COMMANDS=1 VELMORA_BENCH_KEEP="${VELMORA_BENCH_REPORT:-$HERE/README.md}"
else
  PROGRAMS=("$BUILD_DIR"/bench/bench_*)
fi
for b in "${PROGRAMS[@]}"; do
  [ -x "$b" ] || continue
  name=$(basename "$b")
  echo "== $name"
  # The console shows the aggregates; the JSON keeps every repetition for the min–max.
  # A program that fails leaves its partial JSON; the report names it instead of stopping here.
  "$b" --benchmark_out="$OUT_DIR/$name.json" --benchmark_out_format=json --benchmark_repetitions=5 \
       --benchmark_display_aggregates_only=true | tee "$OUT_DIR/$name.txt" || echo "!! $name failed" >&2
done
if [ -z "${VELMORA_BENCH_SKIP_COMMANDS:-}" ]; then
  echo "== command baselines"
  python3 "$HERE/commands.py" "$BUILD_DIR" "$OUT_DIR"
fi
REPORT="${VELMORA_BENCH_REPORT:-$HERE/README.md}"
python3 "$HERE/report.py" "$OUT_DIR" "$REPORT"
echo "wrote $REPORT"

#!/usr/bin/env bash
# Runs every benchmark program of a Release build and keeps their JSON and console output.
set -euo pipefail
BUILD_DIR="${1:-build/bench}"
OUT_DIR="$BUILD_DIR/bench-results"
mkdir -p "$OUT_DIR"
for b in "$BUILD_DIR"/bench/bench_*; do
  [ -x "$b" ] || continue
  name=$(basename "$b")
  echo "== $name"
  "$b" --benchmark_out="$OUT_DIR/$name.json" --benchmark_out_format=json --benchmark_repetitions=5 \
       --benchmark_report_aggregates_only=true | tee "$OUT_DIR/$name.txt"
done

#!/usr/bin/env bash
# Runs a libFuzzer campaign for every target in turn and writes fuzz/REPORT.md with each one's
# executions, coverage and outcome. A crash stops only its own target; the report names it.
#   bash fuzz/campaign.sh [build-dir] [seconds-per-target] [target ...]
set -uo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BUILD_DIR="${1:-build/fuzz}"
SECONDS_EACH="${2:-600}"
shift 2 2>/dev/null || shift $#
TARGETS=("$@")
if [ ${#TARGETS[@]} -eq 0 ]; then
  for f in "$HERE"/*_fuzz.cpp; do n=$(basename "$f" _fuzz.cpp); TARGETS+=("$n"); done
fi
LOG_DIR="$BUILD_DIR/campaign"
mkdir -p "$LOG_DIR"
for t in "${TARGETS[@]}"; do
  bin="$BUILD_DIR/fuzz/fuzz_$t"
  if [ ! -x "$bin" ]; then echo "!! $bin is not built" >&2; continue; fi
  mkdir -p "$HERE/corpus-work/$t" "$LOG_DIR/$t-artifacts"
  echo "== $t for ${SECONDS_EACH}s"
  start=$(date -u +%FT%TZ)
  # rss_limit guards the 2-core, shared machine; timeout flags a slow input as a finding.
  "$bin" -max_total_time="$SECONDS_EACH" -print_final_stats=1 -rss_limit_mb=3072 -timeout=25 \
      -artifact_prefix="$LOG_DIR/$t-artifacts/" \
      "$HERE/corpus-work/$t" "$HERE/corpus/$t" >"$LOG_DIR/$t.log" 2>&1
  echo "$? $start $(date -u +%FT%TZ) $(git -C "$HERE" describe --always --dirty 2>/dev/null || echo '?')" >"$LOG_DIR/$t.status"
  tail -n 3 "$LOG_DIR/$t.log"
done
# A run in which no target could start must not replace the last report.
if ! ls "$LOG_DIR"/*.status >/dev/null 2>&1; then echo "!! no target ran; $HERE/REPORT.md left as it was" >&2; exit 1; fi
python3 "$HERE/campaign_report.py" "$LOG_DIR" "$HERE/REPORT.md"

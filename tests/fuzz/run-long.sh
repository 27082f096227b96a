#!/usr/bin/env bash
# The long fuzz run: every target until it has executed RUNS inputs (default
# 10 million) or spent MAX_SECONDS (default: no limit), at most LANES targets at
# a time (default 3, one core each). The growing corpora live in
# $FUZZ_BUILD/corpus-long/<target> (seeded from tests/fuzz/corpus), findings in
# $FUZZ_BUILD/fuzz-artifacts/, one log per target in $FUZZ_BUILD/fuzz-logs/.
#   tests/fuzz/run-long.sh                     all targets
#   RUNS=2000000 tests/fuzz/run-long.sh fuzz_ini fuzz_layout
# The targets are built by scripts/fuzz-smoke.sh (or: cmake --build build-fuzz --target zns_fuzzers).
# Replaying a finding: $FUZZ_BUILD/tests/fuzz/<target> <artifact file>
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${FUZZ_BUILD:-build-fuzz}
RUNS=${RUNS:-10000000}
MAX_SECONDS=${MAX_SECONDS:-0}
LANES=${LANES:-3}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for exe in "$BUILD"/tests/fuzz/fuzz_*; do [ -x "$exe" ] && targets+=("$(basename "$exe")"); done
fi
mkdir -p "$BUILD/fuzz-artifacts" "$BUILD/fuzz-logs"

run_one() {
  local name=$1 exe="$BUILD/tests/fuzz/$1" corpus="$BUILD/corpus-long/$1" log="$BUILD/fuzz-logs/$1.log"
  mkdir -p "$corpus"
  local start=$(date +%s)
  if "$exe" -runs="$RUNS" -max_total_time="$MAX_SECONDS" -timeout=30 -rss_limit_mb=3072 -print_final_stats=1 \
       -artifact_prefix="$BUILD/fuzz-artifacts/$name-" "$corpus" "tests/fuzz/corpus/$name" >"$log" 2>&1; then
    result="no finding"
  else
    result="FINDING (see $log)"
  fi
  local execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  echo "$name: $execs executions in $(( $(date +%s) - start )) s, $result"
}
export -f run_one
export BUILD RUNS MAX_SECONDS
printf '%s\n' "${targets[@]}" | xargs -P "$LANES" -I{} bash -c 'run_one {}'

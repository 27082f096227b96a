#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for a few seconds over its seed corpus, so that CI keeps them
# building and catches a broken invariant on the seeds or their near mutations.
#   FUZZ_SECONDS   seconds per target (default 5)
#   FUZZ_BUILD     build folder (default build-fuzz)
# The long run is tests/fuzz/run-long.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER=${FUZZ_SECONDS:-5}
BUILD=${FUZZ_BUILD:-build-fuzz}
JOBS=${JOBS:-$(nproc)}

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZNS_WITH_FUZZ=ON -DZNS_WITH_QT=OFF \
  -DZNS_WITH_BENCH=OFF -DZNS_SANITIZE=address -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target zns_fuzzers

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for exe in "$BUILD"/tests/fuzz/fuzz_*; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  mkdir -p "$work/$name" "$BUILD/fuzz-artifacts"
  # New inputs go to the scratch folder; the seeds in the repository stay as they are.
  if ASAN_OPTIONS=detect_leaks=1 "$exe" -max_total_time="$SECONDS_PER" -timeout=20 -rss_limit_mb=3072 \
       -print_final_stats=1 -artifact_prefix="$BUILD/fuzz-artifacts/$name-" \
       "$work/$name" "tests/fuzz/corpus/$name" >"$work/$name.log" 2>&1; then
    echo "$name: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$name.log" | grep -o '[0-9]*$') executions, no finding"
  else
    echo "$name: FAILED"
    grep -E 'invariant|ERROR|runtime error|SUMMARY|^    #[0-9]' "$work/$name.log" | head -30
    status=1
  fi
done
exit $status

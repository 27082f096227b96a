#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then all
# of it again under AddressSanitizer + UndefinedBehaviorSanitizer, the threaded
# tests under ThreadSanitizer, and each fuzz target for a few seconds (clang).
# Fails on any failure. ZNS_JOBS sets the job count (default: every core).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps

JOBS=${ZNS_JOBS:-$(nproc)}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export CTEST_OUTPUT_ON_FAILURE=1

build() {  # dir, extra cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

echo "== layers =="
./scripts/check-layers.sh

echo "== build and test =="
build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build -j "$JOBS"

if [ "${ZNS_SKIP_SANITIZERS:-0}" != "1" ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer =="
  build build-asan -DCMAKE_BUILD_TYPE=Debug -DZNS_SANITIZE=address -DZNS_WITH_QT=ON -DZNS_WITH_BENCH=OFF
  # use_ld_allocations=0, use_tls=0: this LeakSanitizer crashes walking the dynamic
  # TLS of plugins that Qt loads (the image readers); what only a thread's own
  # slots point at is then suppressed by name (tests/lsan.supp, third-party only).
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:use_ld_allocations=0:use_tls=0 \
    ctest --test-dir build-asan -j "$JOBS"

  echo "== ThreadSanitizer (threaded tests) =="
  build build-tsan -DCMAKE_BUILD_TYPE=Debug -DZNS_SANITIZE=thread -DZNS_WITH_QT=OFF -DZNS_WITH_BENCH=OFF
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --test-dir build-tsan -j "$JOBS" -L threads
fi

if [ "${ZNS_SKIP_FUZZ:-0}" != "1" ]; then
  echo "== Fuzz targets, ${FUZZ_SECONDS:-5} s each (the long run: tests/fuzz/run-long.sh) =="
  JOBS="$JOBS" FUZZ_SECONDS=${FUZZ_SECONDS:-5} ./scripts/fuzz-smoke.sh
fi

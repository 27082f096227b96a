#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the simulated logger.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only the program: the tests and benchmarks are ./test.sh's. ZNS_JOBS sets the job count.
cmake --build build -j "${ZNS_JOBS:-$(nproc)}" --target zns
# The program's directory (configuration, sonde file, logs, reports) lives outside the build
# tree, so that a clean rebuild never deletes a log; what it lacks of resources/ is copied at every start.
HOME_DIR=${ZNS_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/zns}
# Earlier versions kept it under build/: carry it over once.
if [ -z "${ZNS_HOME:-}" ] && [ ! -e "$HOME_DIR" ] && [ -d build/zns-home ]; then
  mkdir -p "$(dirname "$HOME_DIR")"
  mv build/zns-home "$HOME_DIR"
fi
mkdir -p "$HOME_DIR"
cp -rn resources/. "$HOME_DIR/" 2>/dev/null || true
export ZNS_HOME=$HOME_DIR
# The simulated logger unless ZNS_LOGGER is given; ZNS_LOGGER= (empty) means a real logger on USB.
export ZNS_LOGGER=${ZNS_LOGGER-sim}
exec build/app/zns "$@"

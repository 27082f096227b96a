#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the simulated logger.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ ! -x build/app/zns ]; then
  echo "The program itself is not built yet; the libraries and tests are (see ./test.sh)."
  exit 0
fi
# A program directory prepared from resources/ (configuration, sonde file, Demo logs, logo).
HOME_DIR=${ZNS_HOME:-$PWD/build/zns-home}
mkdir -p "$HOME_DIR"
cp -rn resources/. "$HOME_DIR/" 2>/dev/null || true
export ZNS_HOME=$HOME_DIR
# The simulated logger unless ZNS_LOGGER is given; ZNS_LOGGER= (empty) means a real logger on USB.
export ZNS_LOGGER=${ZNS_LOGGER-sim}
exec build/app/zns "$@"

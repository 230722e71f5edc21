#!/usr/bin/env bash
# Configures and builds Lumetra into build/ (binaries in build/bin).
# Usage: scripts/build.sh [extra cmake options]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${LUMETRA_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${LUMETRA_BUILD_TYPE:-RelWithDebInfo} \
  -DLUMETRA_WERROR=ON "$@" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"

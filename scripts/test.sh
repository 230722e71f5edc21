#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --timeout 300 -j 2

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer (a debug build of its
# own). LUMETRA_QUICK=1 skips it for a fast local run.
if [ "${LUMETRA_QUICK:-0}" != "1" ]; then
  LUMETRA_BUILD_DIR=build-asan LUMETRA_BUILD_TYPE=Debug scripts/build.sh -DLUMETRA_SANITIZE=ON
  ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure --timeout 300 -j 2
fi

#!/usr/bin/env bash
# Builds and runs the benchmarks. Usage: scripts/bench.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DLUMETRA_BENCH=ON
build/bin/bench_live_display "${1:-60}"
build/bin/bench_record_files
build/bin/bench_graph "${LUMETRA_BENCH_PICTURES:-}"
build/bin/bench_unplug_soak "${LUMETRA_SOAK_CYCLES:-100}"

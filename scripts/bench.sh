#!/usr/bin/env bash
# Builds and runs every benchmark, then prints one table: each figure beside its plain
# baseline from the same run, the aim and whether it was met.
# Usage: scripts/bench.sh [seconds per live-display phase]   (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DLUMETRA_BENCH=ON
log=$(mktemp)
trap 'rm -f "$log"' EXIT
run() {
    echo "== $*" >&2
    "$@" 2>/dev/null | tee -a "$log" | grep -v '^ROW' >&2 || true
}
run build/bin/bench_live_display "${1:-30}"
run build/bin/bench_memory_download
run build/bin/bench_record_files
run build/bin/bench_graph "${LUMETRA_BENCH_PICTURES:-}"
run build/bin/bench_survey "${LUMETRA_BENCH_PICTURES:-}"
run build/bin/bench_unplug_soak "${LUMETRA_SOAK_CYCLES:-100}"
run build/bin/bench_cli_record "${LUMETRA_CLI_SAMPLES:-10000}"
echo
echo "| Measure | Figure | Plain baseline, same run | Aim | |"
echo "|---|---|---|---|---|"
grep '^ROW' "$log" | cut -f2- | awk -F'\t' '{ printf "| %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5 }'

#!/usr/bin/env bash
# Builds and runs every benchmark, then prints one table: each figure beside its plain
# baseline from the same run, the aim and whether it was met. Every row comes in about ten
# minutes; --soak runs the long soaks instead (the recorder over 10 000 samples, 100 pulls
# of the adapter: about an hour).
# Usage: scripts/bench.sh [--soak] [seconds per live-display phase]
#        (default 15; with --soak 30)
set -euo pipefail
cd "$(dirname "$0")/.."
soak=0
if [ "${1:-}" = "--soak" ]; then
    soak=1
    shift
fi
if [ "$soak" = 1 ]; then
    phase=${1:-30} cycles=${LUMETRA_SOAK_CYCLES:-100} samples=${LUMETRA_CLI_SAMPLES:-10000}
else
    phase=${1:-15} cycles=${LUMETRA_SOAK_CYCLES:-15} samples=${LUMETRA_CLI_SAMPLES:-800}
fi
scripts/install-deps.sh
scripts/build.sh -DLUMETRA_BENCH=ON
log=$(mktemp)
trap 'rm -f "$log"' EXIT
run() {
    echo "== $*" >&2
    "$@" 2>/dev/null | tee -a "$log" | grep -v '^ROW' >&2 || true
}
run build/bench/bin/bench_live_display "$phase"
run build/bench/bin/bench_memory_download
run build/bench/bin/bench_record_files
run build/bench/bin/bench_graph "${LUMETRA_BENCH_PICTURES:-}"
run build/bench/bin/bench_survey "${LUMETRA_BENCH_PICTURES:-}"
run build/bench/bin/bench_emergency
run build/bench/bin/bench_unplug_soak "$cycles"
run build/bench/bin/bench_cli_record "$samples"
echo
echo "| Measure | Figure | Plain baseline, same run | Aim | |"
echo "|---|---|---|---|---|"
grep '^ROW' "$log" | cut -f2- | awk -F'\t' '{ printf "| %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5 }'

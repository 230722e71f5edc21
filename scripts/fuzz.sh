#!/usr/bin/env bash
# Fuzzes the parsers with libFuzzer (clang, ASan and UBSan): the display frame decoder, the
# memory dump splitter with set expansion, the record file reader and the typed entries.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target ...]
# New inputs that reach new code are kept in build-fuzz/corpus/<target>; findings (crash-*,
# leak-*, timeout-*) land in build-fuzz/findings/<target>. The committed seed corpus in
# fuzz/corpus is only read; the test suite replays it on every run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_display_frame fuzz_memory_dump fuzz_entry fuzz_record_file fuzz_survey_file)

scripts/install-deps.sh
if ! command -v clang++ >/dev/null; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends clang
fi

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DLUMETRA_FUZZ=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
printf '%-22s %12s %10s %s\n' target runs execs/s findings
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  log="$build/findings/$t/fuzz.log"
  status=0
  case $t in
    fuzz_display_frame) max_len=280 ;; # up to 20 frames
    fuzz_entry) max_len=64 ;;
    *) max_len=4096 ;;
  esac
  "$build/fuzz/bin/$t" -max_total_time="$seconds" -print_final_stats=1 -max_len="$max_len" \
    -artifact_prefix="$build/findings/$t/" "$build/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1 ||
    status=$?
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo 0)
  rate=$(grep -oE 'stat::average_exec_per_sec: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo 0)
  findings=$(find "$build/findings/$t" -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' | wc -l)
  printf '%-22s %12s %10s %s\n' "$t" "$runs" "$rate" "$findings"
  [ "$status" -eq 0 ] || echo "  $t stopped with status $status: see $log"
done

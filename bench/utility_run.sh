#!/usr/bin/env bash
# Times LX2D_B_SET against lx2d-reader-sim for a settings file (default: the
# one that uses every section), without pacing and with 1 ms between input
# reports. The wake wait is set to 0 ("AfterWakeupWait"); the 2000 ms that
# follow the default restore are taken off. Library calls are the requests
# the reader recorded plus Initialize, GetDllVersion, DeviceIOControl,
# Connect and Disconnect.
#   bench/utility_run.sh BUILD_DIR [SETTINGS_FILE] [RUNS]
set -euo pipefail
bin=$(cd "$1/bin" && pwd)
settings=$(realpath "${2:-$(dirname "$0")/every_section.ini}")
runs=${3:-5}
mandated_ms=$("$bin/lx2d-settings" plan "$settings" | awk '$1 == "Sleep" { s += $2 } END { print s + 0 }')

work=$(mktemp -d)
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export LX2D_SYSTEM_DIR=$work/system LX2D_USER_DIR=$work/user LX2D_STATE_DIR=$work/state
export LX2D_RUNTIME_DIR=$work/run LC_ALL=C.UTF-8
"$bin/lx2d-reg" add 'HKLM\SOFTWARE\Korvane\LX2D_B_SET' /v AfterWakeupWait /t REG_DWORD /d 0 /f >/dev/null

printf '%-22s %6s %12s %14s %12s\n' "reader" "calls" "run ms" "minus waits" "us per call"
for interval in 0 1; do
  record=$work/record-$interval.json
  "$bin/lx2d-reader-sim" --report-interval "$interval" --record "$record" \
    --name "bench$interval" >"$work/sim.out" 2>&1 </dev/null &
  sim=$!
  until grep -q vhid "$work/sim.out" 2>/dev/null; do sleep 0.05; done
  total_ns=0
  for _ in $(seq "$runs"); do
    : >"$record"
    start=$(date +%s%N)
    "$bin/LX2D_B_SET" "$settings"
    end=$(date +%s%N)
    total_ns=$((total_ns + end - start))
  done
  calls=$(($(wc -l <"$record") + 5))
  run_ms=$((total_ns / runs / 1000000))
  net_ms=$((run_ms - mandated_ms))
  printf '%-22s %6d %12d %14d %12d\n' "interval ${interval} ms" "$calls" "$run_ms" "$net_ms" \
    $((net_ms * 1000 / calls))
  kill "$sim"; wait "$sim" 2>/dev/null || true; sim=""
done

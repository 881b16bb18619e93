#!/bin/sh
# Runs an example host program against lx2d-reader-sim in private folders:
# once the program is connected the simulated reader scans a barcode, which
# the program must print through its capture callback ("capture: TEXT") and
# through its window ("barcode: TEXT"); then SIGINT must end it with status 0.
#
# Usage: run_example.sh SIMULATOR HOST-COMMAND...
set -u
simulator=$1
shift
folder=$(mktemp -d)
simulatorPid=
hostPid=
cleanup() {
  [ -n "$hostPid" ] && kill -9 "$hostPid" 2>/dev/null
  [ -n "$simulatorPid" ] && kill "$simulatorPid" 2>/dev/null && wait "$simulatorPid" 2>/dev/null
  rm -rf "$folder"
}
trap cleanup EXIT
fail() {
  echo "run_example: $*" >&2
  echo "--- program output:" >&2
  cat "$folder/host.out" "$folder/host.err" >&2
  echo "--- simulator output:" >&2
  cat "$folder/simulator.log" >&2
  exit 1
}
# Polls a condition every 0.1 s for at most $1 seconds (generous: the
# machine may be loaded).
within() {
  limit=$(($1 * 10))
  shift
  while ! "$@"; do
    limit=$((limit - 1))
    [ "$limit" -gt 0 ] || return 1
    sleep 0.1
  done
}

export LX2D_SYSTEM_DIR="$folder/system" LX2D_USER_DIR="$folder/user"
export LX2D_STATE_DIR="$folder/state" LX2D_RUNTIME_DIR="$folder/run"
: >"$folder/host.out"
: >"$folder/host.err"

mkfifo "$folder/simulator.in"
"$simulator" <"$folder/simulator.in" >"$folder/simulator.log" 2>&1 &
simulatorPid=$!
exec 3>"$folder/simulator.in"  # the simulator's input stays open
within 20 test -e "$LX2D_RUNTIME_DIR/vhid/lx2d-reader.info" || fail "the simulator did not come up"

"$@" >"$folder/host.out" 2>"$folder/host.err" &
hostPid=$!
connectedOrEnded() {
  grep -q "waiting for barcodes" "$folder/host.out" || ! kill -0 "$hostPid" 2>/dev/null
}
within 30 connectedOrEnded && grep -q "waiting for barcodes" "$folder/host.out" ||
  fail "the program did not connect"

echo "bcd HELLO-EXAMPLE 42" >&3
within 30 grep -qx "barcode: HELLO-EXAMPLE 42" "$folder/host.out" ||
  fail "no barcode through the window"
within 30 grep -qx "capture: HELLO-EXAMPLE 42" "$folder/host.out" ||
  fail "no barcode through the capture callback"

kill -INT "$hostPid"
within 30 sh -c "! kill -0 $hostPid 2>/dev/null" || fail "SIGINT did not end the program"
wait "$hostPid"
status=$?
hostPid=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
exit 0

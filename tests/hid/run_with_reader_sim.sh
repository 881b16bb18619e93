#!/bin/sh
# Runs a test program against a running lx2d-reader-sim.
#   run_with_reader_sim.sh SIMULATOR TEST_PROGRAM [ARGS...]
# The simulator gets a runtime folder of its own in a temporary directory
# (LX2D_RUNTIME_DIR, handed to the test too) and records the requests it
# receives. After the test the simulator is stopped with SIGTERM and must
# exit cleanly, remove its device files and print the parameters written.
set -u
sim=$1
shift
work=$(mktemp -d)
export LX2D_RUNTIME_DIR="$work/run"
pid=
cleanup() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$sim" --record "$work/record.json" >"$work/sim.out" 2>&1 </dev/null &
pid=$!
tries=0
while [ ! -e "$LX2D_RUNTIME_DIR/vhid/lx2d-reader.info" ]; do
  tries=$((tries + 1))
  if [ $tries -gt 200 ] || ! kill -0 "$pid" 2>/dev/null; then
    echo "lx2d-reader-sim did not start:" >&2
    cat "$work/sim.out" >&2
    exit 1
  fi
  sleep 0.05
done

"$@"
status=$?

kill -TERM "$pid"
wait "$pid"
sim_status=$?
pid=
echo "--- lx2d-reader-sim output"
cat "$work/sim.out"
echo "--- requests recorded"
cat "$work/record.json"
fail() {
  echo "FAILED: $1" >&2
  status=1
}
[ "$sim_status" -eq 0 ] || fail "simulator exit status $sim_status"
[ -z "$(ls -A "$LX2D_RUNTIME_DIR/vhid")" ] || fail "device files left in $LX2D_RUNTIME_DIR/vhid"
grep -q '^Parameters written:' "$work/sim.out" || fail "no table of written parameters"
grep -q '"kind":"SW"' "$work/record.json" || fail "no SW request recorded"
exit $status

#!/bin/sh
# lx2d-reader-sim --serial publishes LX2D_RUNTIME_DIR/serial/NAME, a link to
# a pseudo-terminal, and NAME.info; the signal given ends it cleanly with
# both removed.
#   sim_serial_signal.sh SIMULATOR TERM|INT
set -u
sim=$1
signal=$2
work=$(mktemp -d)
export LX2D_RUNTIME_DIR="$work/run"
trap 'rm -rf "$work"' EXIT
"$sim" --serial --name port1 --serial-number SN-7 >"$work/out" 2>&1 </dev/null &
sim_pid=$!
link="$LX2D_RUNTIME_DIR/serial/port1"
tries=0
while [ ! -L "$link" ]; do
  tries=$((tries + 1))
  if [ $tries -gt 200 ]; then
    echo "no port published:" >&2
    cat "$work/out" >&2
    exit 1
  fi
  sleep 0.05
done
status=0
case $(readlink "$link") in
  /dev/pts/*) ;;
  *) echo "FAILED: link does not lead to a pseudo-terminal: $(readlink "$link")" >&2; status=1 ;;
esac
grep -q '^serial=SN-7$' "$link.info" || { echo "FAILED: no description" >&2; status=1; }
kill -"$signal" "$sim_pid"
tries=0
while kill -0 "$sim_pid" 2>/dev/null; do
  tries=$((tries + 1))
  [ $tries -gt 400 ] && { echo "FAILED: still running after SIG$signal" >&2; exit 1; }
  sleep 0.05
done
cat "$work/out"
[ -z "$(ls -A "$LX2D_RUNTIME_DIR/serial")" ] || { echo "FAILED: files left" >&2; status=1; }
grep -q '^Parameters written: 0' "$work/out" || { echo "FAILED: no clean end" >&2; status=1; }
exit $status

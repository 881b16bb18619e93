#!/bin/sh
# lx2d-win end to end: a spy window is listed, answers a send, prints what it
# receives and ends on SIGTERM.
set -eu
win="$1"
dir=$(mktemp -d)
spy_pid=
cleanup() { [ -n "$spy_pid" ] && kill "$spy_pid" 2>/dev/null; rm -rf "$dir"; }
trap cleanup EXIT
export LX2D_RUNTIME_DIR="$dir/run"

"$win" spy --class Lx2dCheckSpy >"$dir/spy.out" &
spy_pid=$!
tries=0
until [ -s "$dir/spy.out" ]; do
  tries=$((tries + 1)); [ "$tries" -lt 2000 ] || { echo "spy did not start"; exit 1; }
  sleep 0.01
done
handle=$(head -n 1 "$dir/spy.out")

"$win" list | grep -q "^$handle    Lx2dCheckSpy    $spy_pid    " || { echo "not listed"; "$win" list; exit 1; }
answer=$("$win" send Lx2dCheckSpy WM_LX2D_CHECK 0x10 -2)
[ "$answer" = "0" ] || { echo "answer $answer"; exit 1; }

kill -TERM "$spy_pid"
wait "$spy_pid" || { echo "spy exit status $?"; exit 1; }
spy_pid=
expected="$handle
WM_LX2D_CHECK 0x10 0xfffffffffffffffe
WM_QUERYENDSESSION 0x0 0x0
WM_CLOSE 0x0 0x0"
[ "$(cat "$dir/spy.out")" = "$expected" ] || { echo "spy printed:"; cat "$dir/spy.out"; exit 1; }
echo ok

#!/bin/sh
# The settings utility run by root through sudo joins the invoking user's
# session: it finds the user's emulator stand-in and simulated reader, and
# leaves the session folder usable by the user. A second user's utility finds
# neither. Needs root and setpriv (exit 77: skipped).
#   utility_sudo_check.sh BIN_DIR SETTINGS_FILE
# Prints "ok" when everything holds, else what failed.
set -u
bin=$1
settings=$2
[ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null || exit 77

# User ids without a session folder of their own, so the folders under /tmp
# are this test's.
free_uid() {
  while :; do
    uid=$(( $(od -An -N4 -tu4 /dev/urandom) % 700000 + 200000 ))
    [ -e "/run/user/$uid" ] || [ -e "/tmp/lx2d-$uid" ] || [ "$uid" = "${1:-}" ] || break
  done
  echo "$uid"
}
userA=$(free_uid)
userB=$(free_uid "$userA")
work=$(mktemp -d)
chmod 755 "$work"
mkdir "$work/a" "$work/b"
chown "$userA:$userA" "$work/a"
chown "$userB:$userB" "$work/b"
pids=
cleanup() {
  for pid in $pids; do kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work" "/tmp/lx2d-$userA" "/tmp/lx2d-$userB"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $1"
  for f in "$work"/a/*.out "$work"/*.out; do [ -e "$f" ] && { echo "--- $f"; cat "$f"; }; done
  exit 1
}

# A program of a user on a console: no session variables, no runtime folder
# named; registry and state in the user's folder of $work. It replaces the
# shell it runs in: call it in a subshell or in the background.
#   as_user a|b UID PROGRAM [ARGS...]
as_user() {
  home=$work/$1
  user=$2
  shift 2
  exec env -u XDG_RUNTIME_DIR -u LX2D_RUNTIME_DIR -u SUDO_UID -u SUDO_GID -u PKEXEC_UID \
    LX2D_SYSTEM_DIR="$home/system" LX2D_USER_DIR="$home/user" LX2D_STATE_DIR="$home/state" \
    setpriv --reuid="$user" --regid="$user" --clear-groups "$@"
}

sessionA=/tmp/lx2d-$userA
as_user a "$userA" "$bin/lx2d-emu-stub" >"$work/a/emu.out" 2>&1 </dev/null &
pids="$pids $!"
as_user a "$userA" "$bin/lx2d-reader-sim" >"$work/a/sim.out" 2>&1 </dev/null &
pids="$pids $!"
tries=0
until [ -e "$sessionA/vhid/lx2d-reader.info" ] && ls "$sessionA"/windows/*.info >/dev/null 2>&1; do
  tries=$((tries + 1))
  [ $tries -le 400 ] || fail "the user's emulator stand-in and reader did not start"
  sleep 0.05
done

# Root through sudo: SUDO_UID names the user, no XDG_RUNTIME_DIR.
env -u XDG_RUNTIME_DIR -u LX2D_RUNTIME_DIR -u PKEXEC_UID SUDO_UID="$userA" SUDO_GID="$userA" \
  LX2D_SYSTEM_DIR="$work/system" LX2D_USER_DIR="$work/user" LX2D_STATE_DIR="$work/state" \
  "$bin/LX2D_B_SET" "$settings" >"$work/root.out" 2>&1
status=$?
[ $status -eq 0 ] || fail "LX2D_B_SET through sudo: exit status $status"
grep -qx WM_KORV_FORCE_POWERON "$work/a/emu.out" || fail "no power-on request reached the emulator"
grep -qx WM_KORV_RESTORE_POWERSTATE "$work/a/emu.out" || fail "no restore request reached the emulator"
others=$(find "$sessionA" ! -user "$userA")
[ -z "$others" ] || fail "not the user's: $others"

# Another user: neither the emulator nor the reader; the serial library it
# then loads is not there (-10).
(as_user b "$userB" "$bin/LX2D_B_SET" "$settings") >"$work/b/utility.out" 2>&1
status=$?
[ $status -eq 246 ] || fail "another user's LX2D_B_SET: exit status $status, not -10"
[ "$(grep -c . "$work/a/emu.out")" -eq 2 ] || fail "the other user's utility reached the emulator"
echo ok

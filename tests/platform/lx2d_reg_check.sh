#!/bin/sh
# lx2d-reg end to end against a temporary machine hive: add then query prints
# the value line; a write-protected hive refuses changes and still answers.
set -eu
reg="$1"
dir=$(mktemp -d)
trap 'chmod -R u+w "$dir"; rm -rf "$dir"' EXIT
export LX2D_SYSTEM_DIR="$dir/system" LX2D_USER_DIR="$dir/user" LX2D_RUNTIME_DIR="$dir/run"
key='HKLM\SOFTWARE\Korvane\LX2D_B_SET'

"$reg" add "$key" /v AfterWakeupWait /t REG_DWORD /d 1500 /f
out=$("$reg" query "$key" /v AfterWakeupWait)
expected='HKEY_LOCAL_MACHINE\SOFTWARE\Korvane\LX2D_B_SET
    AfterWakeupWait    REG_DWORD    0x5dc'
[ "$out" = "$expected" ] || { echo "unexpected query output:"; echo "$out"; exit 1; }

# No write bit for anybody: read-only even when the test runs as root.
chmod a-w "$dir/system/registry/hklm.db"
if "$reg" add "$key" /v AfterWakeupWait /t REG_DWORD /d 1 /f 2>"$dir/err"; then
  echo "write to a read-only hive succeeded"; exit 1
fi
grep -q 'access denied' "$dir/err" || { cat "$dir/err"; exit 1; }
out=$("$reg" query "$key" /v AfterWakeupWait)
[ "$out" = "$expected" ] || { echo "query after chmod:"; echo "$out"; exit 1; }

# Missing values and bad usage have their own exit statuses.
status=0; "$reg" query "$key" /v Missing 2>/dev/null || status=$?
[ "$status" -eq 1 ] || { echo "missing value gave $status"; exit 1; }
status=0; "$reg" query 'HKCR\X' 2>/dev/null || status=$?
[ "$status" -eq 2 ] || { echo "bad usage gave $status"; exit 1; }
echo ok

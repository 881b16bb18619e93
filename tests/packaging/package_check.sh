#!/bin/sh
# Builds the Debian package from a finished build, unpacks it into a scratch
# root and runs the utility installed there against the simulator installed
# there, in temporary LX2D_* folders.
#   package_check.sh CPACK BUILD_DIR SOURCE_DIR
# Prints "ok" when everything holds, else what failed.
set -u
cpack=$1
build=$2
source=$3
work=$(mktemp -d)
sim=
cleanup() {
  [ -n "$sim" ] && kill -TERM "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $1"
  exit 1
}

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/*.deb)

# Dependencies computed from the binaries, and a postinst that a machine
# without udev (or with a failing udevadm) does not stop.
depends=$(dpkg-deb -f "$deb" Depends)
echo "$depends" | grep -q 'libc6 (>=' || fail "no computed dependencies: '$depends'"
dpkg-deb -e "$deb" "$work/control"
mkdir "$work/nothing" "$work/failing"
printf '#!/bin/sh\nexit 1\n' >"$work/failing/udevadm"
chmod +x "$work/failing/udevadm"
for path in "$work/nothing" "$work/failing"; do
  PATH=$path /bin/sh "$work/control/postinst" configure || fail "postinst with PATH=$path"
done

root=$work/root
dpkg -x "$deb" "$root"
for file in usr/bin/LX2D_B_SET usr/bin/lx2d-reader-sim usr/bin/lx2d-reg usr/bin/lx2d-settings \
            usr/bin/lx2d-vscp usr/bin/lx2d-win usr/share/man/man1/LX2D_B_SET.1.gz \
            usr/lib/udev/rules.d/70-lx2d-reader.rules usr/include/RDLK_HID.h; do
  [ -e "$root/$file" ] || fail "$file not installed"
done
[ -n "$(find "$root" -name 'rdlk_hid.pc')" ] || fail "no rdlk_hid.pc installed"
[ -e "$(dirname "$(readlink -f "$root/usr/bin/LX2D_B_SET")")/libRDLK_HID.so" ] ||
  fail "no libRDLK_HID.so beside the utility"

export LX2D_SYSTEM_DIR="$work/system" LX2D_USER_DIR="$work/user"
export LX2D_STATE_DIR="$work/state" LX2D_RUNTIME_DIR="$work/run"
"$root/usr/bin/lx2d-reg" add 'HKCU\SOFTWARE\Korvane\LX2D_B_SET' /v AfterWakeupWait \
  /t REG_DWORD /d 0 /f >/dev/null || fail "installed lx2d-reg"
"$root/usr/bin/lx2d-reader-sim" </dev/null >"$work/sim.out" 2>&1 &
sim=$!
tries=0
while [ ! -e "$LX2D_RUNTIME_DIR/vhid/lx2d-reader.info" ]; do
  tries=$((tries + 1))
  if [ $tries -gt 400 ] || ! kill -0 "$sim" 2>/dev/null; then
    cat "$work/sim.out"
    fail "the installed simulator did not start"
  fi
  sleep 0.05
done
"$root/usr/bin/LX2D_B_SET" "$source/examples/settings.ini" >"$work/utility.out" 2>&1
status=$?
kill -TERM "$sim"
wait "$sim"
sim=
[ $status -eq 0 ] || { cat "$work/utility.out"; fail "installed LX2D_B_SET exit status $status"; }
written=$(sed -n 's/^Parameters written: //p' "$work/sim.out")
[ "${written:-0}" -gt 0 ] || { cat "$work/sim.out"; fail "the reader received no parameters"; }
echo ok

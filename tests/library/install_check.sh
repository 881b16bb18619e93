#!/bin/sh
# install_check.sh BUILD_DIR LIBDIR INCLUDEDIR
# Installs the build into a temporary prefix and checks that the library and
# its header land where GNUInstallDirs says and that pkg-config finds both.
set -u
build=$1
libdir=$2
includedir=$3
d=$(mktemp -d)
trap 'rm -rf "$d"' EXIT
cmake --install "$build" --prefix "$d/usr" >/dev/null || exit 1
test -f "$d/usr/$libdir/libRDLK_HID.so" || { echo "no library in $libdir"; exit 1; }
test -f "$d/usr/$libdir/libRDLK_Rs.so" || { echo "no serial library in $libdir"; exit 1; }
test -f "$d/usr/$includedir/RDLK_HID.h" || { echo "no header in $includedir"; exit 1; }
export PKG_CONFIG_PATH="$d/usr/$libdir/pkgconfig"
cflags=$(pkg-config --cflags rdlk_hid) || exit 1
libs=$(pkg-config --libs rdlk_hid) || exit 1
echo "$cflags $libs"
set -- $cflags
test -f "${1#-I}/RDLK_HID.h" || { echo "pkg-config's include folder has no header"; exit 1; }
set -- $libs
test "$#" -eq 2 && test "$2" = -lRDLK_HID && test -f "${1#-L}/libRDLK_HID.so" ||
  { echo "pkg-config does not link the library"; exit 1; }

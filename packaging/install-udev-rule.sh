#!/bin/sh
# Installs the udev rule that gives the logged-in user access to the
# readers' hidraw nodes and serial ttys, and applies it to readers already
# plugged in.
#   install-udev-rule.sh [RULES_DIR]
# RULES_DIR defaults to /etc/udev/rules.d; with $DESTDIR set the rule is
# only staged below it (for packaging) and udev is left alone.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
rule=70-lx2d-reader.rules
dir=${1:-/etc/udev/rules.d}
target="${DESTDIR:-}$dir"

mkdir -p "$target"
install -m 0644 "$here/udev/$rule" "$target/$rule"
echo "installed $target/$rule"

if [ -z "${DESTDIR:-}" ] && command -v udevadm >/dev/null 2>&1 && [ -d /run/udev ]; then
  udevadm control --reload || echo "udevadm: rules not reloaded (udev not running?)" >&2
  udevadm trigger --subsystem-match=hidraw --action=change || true
  udevadm trigger --subsystem-match=tty --property-match=ID_VENDOR_ID=0d2a --action=change || true
fi

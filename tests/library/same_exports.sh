#!/bin/sh
# The two scanner libraries define the same dynamic symbols, 33 functions.
#   same_exports.sh LIBRARY_A LIBRARY_B
set -u
a=$(nm -D --defined-only "$1" | awk '{print $2, $3}' | sort) || exit 1
b=$(nm -D --defined-only "$2" | awk '{print $2, $3}' | sort) || exit 1
if [ "$a" != "$b" ]; then
  echo "FAILED: the exports differ" >&2
  printf '%s\n' "$a" >"${TMPDIR:-/tmp}/exports_a.$$"
  printf '%s\n' "$b" | diff "${TMPDIR:-/tmp}/exports_a.$$" - >&2
  rm -f "${TMPDIR:-/tmp}/exports_a.$$"
  exit 1
fi
count=$(printf '%s\n' "$a" | grep -c '^T ')
others=$(printf '%s\n' "$a" | grep -vc '^T ')
echo "$count functions, $others other symbols"
[ "$count" -eq 33 ] && [ "$others" -eq 0 ]

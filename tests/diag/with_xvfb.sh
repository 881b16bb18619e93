#!/bin/sh
# Runs a command on a private virtual display: starts Xvfb on a free display
# number (Xvfb picks it and tells us), exports it as DISPLAY and as
# LX2D_TEST_DISPLAY (kept for commands that unset DISPLAY), and ends the
# server afterwards. Exits with the command's status. -noreset: the server
# would otherwise restart whenever its last client leaves, refusing
# connections meanwhile.
set -u
folder=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$folder/display" 2>"$folder/log" &
server=$!
tries=0
while [ ! -s "$folder/display" ] && [ $tries -lt 300 ]; do
  sleep 0.1
  tries=$((tries + 1))
done
number=$(tr -d '\n' < "$folder/display")
if [ -z "$number" ]; then
  echo "with_xvfb: Xvfb did not start" >&2
  cat "$folder/log" >&2
  kill "$server" 2>/dev/null
  rm -rf "$folder"
  exit 1
fi
# The file dialog keeps its settings in memory: no session bus here.
DISPLAY=":$number" LX2D_TEST_DISPLAY=":$number" GSETTINGS_BACKEND=memory "$@"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
rm -rf "$folder"
exit $status

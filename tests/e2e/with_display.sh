#!/usr/bin/env bash
# Runs a command on a display of its own: a fresh Xvfb, whose number the
# server picks itself so tests running side by side never meet, and a D-Bus
# session on which the accessibility bus starts on demand. Both end with the
# command; its exit code is ours.
#
# Usage: with_display.sh COMMAND [ARG...]
set -uo pipefail

scratch=$(mktemp -d)
xvfb_pid=""
dbus_pid=""

cleanup() {
  # The session bus takes the accessibility bus and its registry with it.
  [ -n "$dbus_pid" ] && kill "$dbus_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

# start_xvfb: a fresh Xvfb that answers a client, or false. -displayfd:
# Xvfb chooses a free display and writes its number to the file once it
# accepts connections. A server that took a number as another one let go of
# it can still give up on that display's lock file, after writing the
# number: so a client's answer is the readiness signal.
start_xvfb() {
  : >"$scratch/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
    3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local deadline=$((SECONDS + 20))
  until [ -s "$scratch/display" ] &&
    xdpyinfo -display ":$(head -n1 "$scratch/display")" >/dev/null 2>&1; do
    if ! kill -0 "$xvfb_pid" 2>/dev/null || [ $SECONDS -ge $deadline ]; then
      kill "$xvfb_pid" 2>/dev/null
      wait "$xvfb_pid" 2>/dev/null
      xvfb_pid=""
      return 1
    fi
    sleep 0.05
  done
  export DISPLAY=":$(head -n1 "$scratch/display")"
}

for attempt in 1 2 3; do
  start_xvfb && break
  echo "with_display: Xvfb did not start (attempt $attempt)" >&2
  cat "$scratch/xvfb.log" >&2
  [ "$attempt" -lt 3 ] || exit 1
done

eval "$(dbus-launch --sh-syntax)" || {
  echo "with_display: dbus-launch failed" >&2
  exit 1
}
dbus_pid=$DBUS_SESSION_BUS_PID
# GTK then loads its AT-SPI bridge, so the window can be read back.
unset NO_AT_BRIDGE

"$@"
status=$?
# A display that went away under the test explains its failure.
if [ "$status" -ne 0 ] && ! xdpyinfo >/dev/null 2>&1; then
  echo "with_display: the display $DISPLAY no longer answers; Xvfb's log:" >&2
  cat "$scratch/xvfb.log" >&2
fi
exit "$status"

# shellcheck shell=bash
# What the shell tests that drive the real program share. They run under
# with_display.sh and source this after setting program, port, out and
# caption; the program's PID is kept in program_pid, a server's in
# server_pid, and failures are counted in failures.

lib_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

failures=0
program_pid=""
server_pid=""
main_window=""

# fail MESSAGE...: notes a failure; the test goes on.
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Whatever ends the script: the program and the server go, and a server
# reading its stdin from fd 3 sees it close.
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  exec 3>&-
  wait 2>/dev/null
}
trap cleanup EXIT

# wait_for SECONDS COMMAND...: until the command succeeds or the deadline.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

# running [PID]: alive and not yet a zombie waiting for us; by default the
# program.
running() {
  local state
  state=$(ps -o stat= -p "${1:-$program_pid}" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "${state#Z}" = "$state" ]
}

# start_demo_server PAGE LOG: the demo announcement server on $port,
# serving PAGE and noting each request in LOG. Ends the test if it does not
# start.
start_demo_server() {
  python3 "$lib_top/demo/announcement_server.py" --port "$port" \
    --page "$1" --log "$2" >"$out/server.out" 2>&1 &
  server_pid=$!
  wait_for 15 grep -q serving "$out/server.out" || {
    echo "FAIL: the demo server did not start on port $port"
    cat "$out/server.out"
    exit 1
  }
}

# start_scripted_server SCRIPT CASE LOG: a Python test server on $port that
# plays CASE and says "ready" once it listens. Its stdin is a pipe held open
# on fd 3, so it ends when the test does, however the test ends. Ends the
# test if it does not start.
start_scripted_server() {
  exec 3> >(exec /usr/bin/python3 "$1" --port "$port" --case "$2" \
    --log "$3" >"$out/server.out" 2>&1)
  wait_for 150 grep -qx ready "$out/server.out" || {
    echo "FAIL: $1 did not start on port $port"
    exit 1
  }
}

# launch_program NAME: starts the program in the background, its output in
# $out/NAME.stdout and $out/NAME.stderr.
launch_program() {
  "$program" >"$out/$1.stdout" 2>"$out/$1.stderr" 3>&- &
  program_pid=$!
}

# find_main_window: the program's window, once mapped, in main_window.
find_main_window() {
  main_window=$(xdotool search --onlyvisible --name "^${caption}\$" \
    2>/dev/null | head -n1)
  [ -n "$main_window" ]
}

# no_window NAME: fails for a window that did not map, with what the
# program run NAME said on stderr.
no_window() {
  fail "$1: no window \"$caption\" mapped within 30 s; its stderr:"
  sed 's/^/  /' "$out/$1.stderr"
}

# click X Y: a button, by its centre in client coordinates.
click() { xdotool mousemove --window "$main_window" "$1" "$2" click 1; }
get() { click 36 76; }
copy() { click 108 76; }
update() { click 180 76; }

# report NAME DETAIL: the test's verdict and exit code.
report() {
  if [ "$failures" -gt 0 ]; then
    echo "$1: $failures failure(s); files in $out"
    exit 1
  fi
  echo "$1: passed; $2"
}

# ends_with_zero NAME: the program exits within 15 s, with code 0.
ends_with_zero() {
  if ! wait_for 15 eval '! running'; then
    fail "$1: still running 15 s after the close request"
    kill "$program_pid" 2>/dev/null
  fi
  wait "$program_pid"
  local status=$?
  program_pid=""
  [ "$status" -eq 0 ] || fail "$1: exit code $status, expected 0"
}

# close_with_escape NAME: Esc to the window, and the program ends with 0.
close_with_escape() {
  xdotool windowfocus --sync "$main_window"
  xdotool key Escape
  ends_with_zero "$1"
}

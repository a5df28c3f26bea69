#!/usr/bin/env bash
# A bounded soak of the real GTK program (run under tests/e2e/with_display.sh):
# 获取 against a loopback server that posts a new code on every request,
# then resident memory and open descriptors of the program halfway between
# ticks FIRST and LAST (default 5 and 25, one tick each 5 s). They must be
# the same within 256 KiB, and the same count. Prints the figures.
#
# Usage: gtk_soak.sh PROGRAM PORT OUTDIR [FIRST LAST]
set -uo pipefail

program=$1
port=$2
out=$3
first=${4:-5}
last=${5:-25}
here=$(cd "$(dirname "$0")" && pwd)
caption='ZelvaroCDK获取工具0.2v'
max_growth_kib=256

rm -rf "$out"
mkdir -p "$out"
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  exec 3>&- # the server's stdin: it ends
  wait 2>/dev/null
}
trap cleanup EXIT

# running: the program has not ended (a zombie has).
running() {
  local state
  state=$(ps -o stat= -p "$program_pid" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "${state#Z}" = "$state" ]
}

wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

requests="$out/requests.log"
# The server ends when this script closes fd 3, however it ends.
exec 3> >(exec /usr/bin/python3 "$here/hostile_server.py" --port "$port" \
  --case steady --log "$requests" >"$out/server.out" 2>&1)
wait_for 150 grep -qx ready "$out/server.out" || {
  echo "FAIL: the loopback server did not start on port $port"
  exit 1
}
requests_seen() { [ "$(grep -c '^request' "$requests")" -ge "$1" ]; }

"$program" >"$out/program.stdout" 2>"$out/program.stderr" 3>&- &
program_pid=$!
main_window=""
find_main_window() {
  main_window=$(xdotool search --onlyvisible --name "^${caption}\$" |
    head -n1)
  [ -n "$main_window" ]
}
wait_for 30 find_main_window || {
  echo "FAIL: no window \"$caption\" within 30 s"
  exit 1
}
xdotool mousemove --window "$main_window" 36 76 click 1

# sample TICK: waits for the tick's request (the version check is the
# first), then takes the figures 2.5 s later, halfway to the next tick, when
# the fetch has long ended and the loop waits.
sample() {
  wait_for $((5 * $1 + 30)) requests_seen $(($1 + 1)) || {
    echo "FAIL: tick $1 made no request"
    exit 1
  }
  sleep 2.5
  rss_kib=$(awk '/^VmRSS:/ { print $2 }' "/proc/$program_pid/status")
  fds=$(ls "/proc/$program_pid/fd" | wc -l)
}
sample "$first"
first_rss=$rss_kib
first_fds=$fds
sample "$last"
growth=$((rss_kib - first_rss))
echo "gtk soak: resident $first_rss KiB at tick $first, $rss_kib KiB at" \
  "tick $last (growth $growth KiB); descriptors $first_fds and $fds"

xdotool windowfocus --sync "$main_window"
xdotool key Escape
wait_for 15 eval '! running' || echo "FAIL: still running 15 s after Esc"
wait "$program_pid"
status=$?
program_pid=""

failures=0
[ "$status" -eq 0 ] || { echo "FAIL: exit code $status"; failures=1; }
[ "$fds" -eq "$first_fds" ] || { echo "FAIL: descriptors changed"; failures=1; }
if [ "${growth#-}" -gt "$max_growth_kib" ]; then
  echo "FAIL: resident memory moved by more than $max_growth_kib KiB"
  failures=1
fi
[ $failures -eq 0 ] && echo "PASS: gtk soak"
[ $failures -eq 0 ]

#!/usr/bin/env bash
# Rows of the hostile-server table through the real GTK program (run under
# tests/e2e/with_display.sh), clicked by xdotool, the clipboard read by
# xclip and the code box over AT-SPI:
#   ten_mib_code  the entry shows what it can hold (at most 65 535
#                 characters) while 复制 copies all 10 MiB the core keeps;
#   dribble       while the first poll's body comes at a byte a second the
#                 window answers 复制, which sees the codes of the ticks
#                 nested inside it, then the first-started tick's code.
#
# Usage: gtk_rows.sh PROGRAM PORT OUTDIR ROW
set -uo pipefail

program=$1
port=$2
out=$3
row=$4
here=$(cd "$(dirname "$0")" && pwd)
caption='ZelvaroCDK获取工具0.2v'

rm -rf "$out"
mkdir -p "$out"
failures=0
program_pid=""

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  exec 3>&- # the server's stdin: it ends
  wait 2>/dev/null
}
trap cleanup EXIT

# wait_for SECONDS COMMAND...: until the command succeeds or the deadline.
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

case $row in
ten_mib_code) server_case=huge_code ;;
dribble) server_case=dribble ;;
*)
  echo "gtk_rows.sh: no row '$row'" >&2
  exit 2
  ;;
esac

requests="$out/requests.log"
# The server's stdin is a pipe this script holds open on fd 3: the server
# ends when the script does, however it ends.
exec 3> >(exec /usr/bin/python3 "$here/hostile_server.py" --port "$port" \
  --case "$server_case" --log "$requests" >"$out/server.out" 2>&1)
wait_for 150 grep -qx ready "$out/server.out" || {
  echo "FAIL: the hostile server did not start on port $port"
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
click() { xdotool mousemove --window "$main_window" "$1" "$2" click 1; }
get() { click 36 76; }
copy() { click 108 76; }
clipboard() { xclip -o -selection clipboard 2>/dev/null; }

get
wait_for 15 requests_seen 2 || fail "no poll within 15 s of pressing 获取"

if [ "$row" = ten_mib_code ]; then
  /usr/bin/python3 -c '
import sys
n = 10 * 1024 * 1024
p = bytes(range(65, 91))
sys.stdout.buffer.write((p * (n // 26 + 1))[:n])' >"$out/expected"
  clipboard_whole() {
    copy
    clipboard >"$out/clipboard"
    cmp -s "$out/clipboard" "$out/expected"
  }
  wait_for 60 clipboard_whole ||
    fail "复制 put $(stat -c %s "$out/clipboard") bytes on the clipboard," \
      "not the 10485760 of the code"
  /usr/bin/python3 "$here/code_box_text.py" "$program_pid" >"$out/shown" ||
    fail "the code box could not be read over AT-SPI"
  shown=$(stat -c %s "$out/shown")
  # GTK's entry buffer holds at most 65 535 bytes with its end mark.
  if [ "$shown" -gt 65535 ] || [ "$shown" -lt 32768 ]; then
    fail "the entry shows $shown characters; it holds 32768 to 65535"
  elif ! cmp -s "$out/shown" <(head -c "$shown" "$out/expected"); then
    fail "the entry shows other characters than the code's first $shown"
  fi
  echo "ten_mib_code: the entry shows $shown characters, the clipboard" \
    "holds $(stat -c %s "$out/clipboard") bytes"
else
  # Press 复制 every few tenths of a second until the tick after the dribble
  # has asked for the page; note each new clipboard text.
  : >"$out/copied"
  deadline=$((SECONDS + 40))
  last=""
  until requests_seen 5 || [ $SECONDS -ge $deadline ]; do
    copy
    now=$(clipboard)
    if [ -n "$now" ] && [ "$now" != "$last" ]; then
      echo "$now" >>"$out/copied"
      last=$now
    fi
    sleep 0.3
  done
  seen=$(tr '\n' ' ' <"$out/copied")
  echo "dribble: 复制 saw, in order: $seen"
  # The tick at 5 s (dribbled, 12 s) nests the ticks at 10 s and 15 s; the
  # window answered 复制 in between, and the outer tick wrote last.
  case " $seen" in
  *" NESTED3 "*"NESTED4 "*"FIRST "*) ;;
  *) fail "复制 saw '$seen'; expected NESTED3, then NESTED4, then FIRST" ;;
  esac
fi

xdotool windowfocus --sync "$main_window"
xdotool key Escape
wait_for 15 eval '! running' || fail "still running 15 s after Esc"
wait "$program_pid"
status=$?
program_pid=""
[ "$status" -eq 0 ] || fail "exit code $status, expected 0"

[ $failures -eq 0 ] && echo "PASS: $row" || echo "$failures failure(s)"
[ $failures -eq 0 ]

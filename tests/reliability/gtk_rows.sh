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
# shellcheck source=tests/e2e/lib.sh
source "$here/../e2e/lib.sh"

case $row in
ten_mib_code) server_case=huge_code ;;
dribble) server_case=dribble ;;
*)
  echo "gtk_rows.sh: no row '$row'" >&2
  exit 2
  ;;
esac

requests="$out/requests.log"
start_scripted_server "$here/hostile_server.py" "$server_case" "$requests"
requests_seen() { [ "$(grep -c '^request' "$requests")" -ge "$1" ]; }

launch_program program
wait_for 30 find_main_window || {
  no_window program
  exit 1
}
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

close_with_escape "$row"
report "$row" "files in $out"

#!/usr/bin/env bash
# The program end to end on a display of its own (run under with_display.sh):
# the version check answered by a loopback server, the window as described
# (X11 properties, AT-SPI, a screenshot), the keys that must not close it,
# 复制 reaching the clipboard, and each way of closing it ending with exit
# code 0. Also the fatal path without a display.
#
# Usage: shell_e2e.sh PROGRAM PORT OUTDIR DESCRIBE_WINDOW WM_CLOSE
set -uo pipefail

program=$1
port=$2
out=$3
describe_window=$4
wm_close=$5
here=$(cd "$(dirname "$0")" && pwd)
atspi_python=/usr/bin/python3 # the system Python has pyatspi

rm -rf "$out"
mkdir -p "$out"
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"

"$describe_window" >"$out/description.json"
caption=$("$atspi_python" -c '
import json, sys
print(bytes.fromhex(json.load(open(sys.argv[1]))["caption_gbk"]).decode("gbk"))
' "$out/description.json")

# ---- the loopback announcement page: the own version, so no message box
printf '<html><body>==0.2==</body></html>\n' >"$out/page.html"
start_demo_server "$out/page.html" "$out/requests.log"

# start_program NAME: runs the program, waits for its window to map.
start_program() {
  : >"$out/requests.log"
  launch_program "$1"
  if ! wait_for 30 find_main_window; then
    no_window "$1"
    return 1
  fi
}

# ---- run 1: the window as described, keys that must not close it, Esc ----
if start_program esc; then
  grep -c 'GET /announcement.html' "$out/requests.log" >"$out/requests.count"
  [ "$(cat "$out/requests.count")" = 1 ] ||
    fail "the version check made $(cat "$out/requests.count") requests, expected 1"

  xwininfo -id "$main_window" >"$out/xwininfo.txt"
  width=$(sed -n 's/^ *Width: //p' "$out/xwininfo.txt")
  height=$(sed -n 's/^ *Height: //p' "$out/xwininfo.txt")
  left=$(sed -n 's/^ *Absolute upper-left X: *//p' "$out/xwininfo.txt")
  top_y=$(sed -n 's/^ *Absolute upper-left Y: *//p' "$out/xwininfo.txt")
  [ "$width x $height" = "232 x 200" ] ||
    fail "client area $width x $height, expected 232 x 200"
  read -r screen_w screen_h < <(xwininfo -root |
    sed -n 's/^ *Width: //p; s/^ *Height: //p' | paste -sd' ')
  # No window manager runs, so there is no frame: the outer rectangle's
  # corner is the client area's.
  expect_left=$(((screen_w - 238) / 2))
  expect_top=$(((screen_h - 229) / 2))
  [ "$left,$top_y" = "$expect_left,$expect_top" ] ||
    fail "placed at $left,$top_y, expected $expect_left,$expect_top"

  xprop -id "$main_window" >"$out/xprop.txt"
  grep -q '_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_DIALOG' \
    "$out/xprop.txt" || fail "not a dialog-type window"
  grep -q 'program specified minimum size: 232 by 200' "$out/xprop.txt" &&
    grep -q 'program specified maximum size: 232 by 200' "$out/xprop.txt" ||
    fail "the window can be resized (size hints)"
  # Motif hints: functions MOVE|CLOSE (0x24), decorations BORDER|TITLE|MENU
  # (0x1a): no minimise or maximise.
  grep -q '_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = 0x3, 0x24, 0x1a' \
    "$out/xprop.txt" || fail "minimise or maximise offered (Motif hints)"
  xprop -id "$main_window" -notype 32c _NET_WM_ICON |
    "$atspi_python" -c '
import sys
v = [int(x) for x in sys.stdin.read().split("=", 1)[1].replace(",", " ").split()]
sizes, i = [], 0
while i + 1 < len(v):
    sizes.append(v[i]); i += 2 + v[i] * v[i + 1]
print(" ".join(map(str, sizes)))' >"$out/icon_sizes.txt"
  [ "$(cat "$out/icon_sizes.txt")" = "16 32 48 128" ] ||
    fail "window icons $(cat "$out/icon_sizes.txt"), expected 16 32 48 128"

  "$atspi_python" "$here/check_window.py" atspi "$out/description.json" \
    "$program_pid" || fail "the window over AT-SPI differs from its description"

  import -window root "$out/screenshot.png"
  convert "$out/screenshot.png" "$out/screenshot.ppm"
  "$atspi_python" "$here/check_window.py" pixels "$out/description.json" \
    "$out/screenshot.ppm" "$left" "$top_y" ||
    fail "the screenshot differs from the description"
  rm -f "$out/screenshot.ppm"

  # Esc with a modifier is no close request. X delivers in order, so once
  # 复制's click has reached the clipboard the keys before it were handled.
  xdotool windowfocus --sync "$main_window"
  xdotool key shift+Escape ctrl+Escape alt+Escape
  copy
  clipboard_is_code_box() {
    [ "$(xclip -o -selection clipboard 2>/dev/null)" = "加载中。。。。。。" ]
  }
  wait_for 15 clipboard_is_code_box ||
    fail "复制 did not put the code box's text on the clipboard"
  running || fail "Esc with a modifier closed it"

  xdotool key Escape
  ends_with_zero esc
fi

# ---- run 2: Alt+F4 ----
if start_program alt_f4; then
  xdotool windowfocus --sync "$main_window"
  xdotool key alt+F4
  ends_with_zero alt_f4
fi

# ---- run 3: the close button, as a window manager reports it ----
if start_program close_button; then
  "$wm_close" "$main_window" || fail "could not send WM_DELETE_WINDOW"
  ends_with_zero close_button
fi

# ---- the fatal path: no display, so the window cannot be built ----
env -u DISPLAY "$program" >"$out/fatal.stdout" 2>"$out/fatal.stderr"
code=$?
[ "$code" -eq 255 ] || fail "without a display: exit code $code, expected 255"
grep -q '载入启动窗口失败' "$out/fatal.stderr" ||
  fail "without a display: no window-build failure message on stderr"

report shell_e2e "screenshot $out/screenshot.png"

#!/usr/bin/env bash
# The tool's job end to end (run under with_display.sh): a loopback
# announcement page in GBK, the real program, clicks by xdotool. 获取 starts
# the poll and 复制 then puts the posted code on the clipboard; a newer
# posted version brings up the message box before the window, and 获取 then
# makes no request; 更新 hands the update page to the desktop's http handler,
# here a recording one registered for this test alone.
#
# Usage: retrieval_e2e.sh PROGRAM PORT OUTDIR
set -uo pipefail

program=$1
port=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)

caption='ZelvaroCDK获取工具0.2v'
initial_code_box='加载中。。。。。。'
code='ZELVARO兑换2026'
update_url="http://127.0.0.1:$port/update.html"

rm -rf "$out"
mkdir -p "$out"
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"

# ---- a desktop of the test's own: http opens a script that notes the URL
export HOME="$out/home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DATA_HOME="$HOME/.local/share"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/applications"
opened="$out/opened_urls"
cat >"$out/record-url" <<EOF
#!/bin/sh
printf '%s\n' "\$1" >>"$opened"
EOF
chmod +x "$out/record-url"
cat >"$XDG_DATA_HOME/applications/cdk-recording-browser.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Recording browser
Exec=$out/record-url %u
MimeType=x-scheme-handler/http;
NoDisplay=true
EOF
for list in "$XDG_CONFIG_HOME/mimeapps.list" \
  "$XDG_DATA_HOME/applications/mimeapps.list"; do
  printf '[Default Applications]\nx-scheme-handler/http=%s\n' \
    cdk-recording-browser.desktop >"$list"
done

# ---- the announcement server; the page file is UTF-8, served as GBK
page="$out/page.html"
requests="$out/requests.log"
: >"$requests"
start_demo_server "$page" "$requests"

# post VERSION: the page as its author would write it, version block first.
post() {
  cat >"$page" <<EOF
<html><head><title>ZelvaroCDK</title></head><body>
<p>最新版本：==$1==</p>
<p>本周兑换码（兑换时间17-22点）：</p>
<p>====$code====</p>
</body></html>
EOF
}

page_requests() { grep -c 'GET /announcement.html ' "$requests"; }
at_least_requests() { [ "$(page_requests)" -ge "$1" ]; }

message_box=""
find_message_box() {
  message_box=$(xdotool search --onlyvisible --name '^信息：$' | head -n1)
  [ -n "$message_box" ]
}

clipboard_is() { [ "$(xclip -o -selection clipboard 2>/dev/null)" = "$1" ]; }
# copy_gives TEXT: presses 复制 until the clipboard holds TEXT.
copy_gives() {
  local deadline=$((SECONDS + 15))
  while [ $SECONDS -lt $deadline ]; do
    copy
    wait_for 1 clipboard_is "$1" && return 0
  done
  return 1
}

start_program() {
  : >"$requests"
  launch_program "$1"
}

# ---- run 1: the own version posted; poll, copy, update ----
post 0.2
start_program poll
if wait_for 30 find_main_window; then
  [ "$(page_requests)" = 1 ] ||
    fail "poll: $(page_requests) requests at start, expected the version check's 1"
  find_message_box && fail "poll: a message box with the own version posted"

  get
  # The first tick's request is the server's second.
  if wait_for 15 at_least_requests 2; then
    copy_gives "$code" ||
      fail "poll: the clipboard holds '$(xclip -o -selection clipboard)'," \
        "expected '$code'"
    import -window root "$out/after_tick.png"
  else
    fail "poll: no request within 15 s of pressing 获取"
  fi

  update
  wait_for 15 test -s "$opened" || fail "update: no http handler started"
  update
  opened_twice() { [ "$(wc -l <"$opened")" -ge 2 ]; }
  wait_for 15 opened_twice || fail "update: the second press opened nothing"
  printf '%s\n%s\n' "$update_url" "$update_url" >"$out/expected_urls"
  cmp -s "$opened" "$out/expected_urls" ||
    fail "update: opened $(tr '\n' ' ' <"$opened"), expected $update_url twice"

  close_with_escape poll
else
  no_window poll
fi

# ---- run 2: a newer version posted; the message first, then no poll ----
post 0.3
start_program newer
if wait_for 30 find_message_box; then
  find_main_window && fail "newer: the window is up while the message is"
  [ "$(page_requests)" = 1 ] ||
    fail "newer: $(page_requests) requests before the message, expected 1"
  import -window root "$out/message_box.png"
  xdotool windowfocus --sync "$message_box"
  xdotool key Return
  if wait_for 15 find_main_window; then
    find_message_box && fail "newer: the message box is still up"
    get
    get
    # Clicks are handled in order: once 复制 has answered, both 获取 have
    # been handled too.
    copy_gives "$initial_code_box" ||
      fail "newer: 复制 did not answer after 获取 was pressed"
    # A poll would have made its first request 5 s after the first press.
    wait_for 7 at_least_requests 2 &&
      fail "newer: 获取 started the poll: $(page_requests) requests"
    import -window root "$out/after_message.png"
    close_with_escape newer
  else
    fail "newer: no window after the message box was dismissed"
  fi
else
  fail "newer: no message box \"信息：\" within 30 s"
  find_main_window && close_with_escape newer
fi

report retrieval_e2e "screenshots in $out"

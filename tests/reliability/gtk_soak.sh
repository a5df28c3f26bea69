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
# shellcheck source=tests/e2e/lib.sh
source "$here/../e2e/lib.sh"

requests="$out/requests.log"
start_scripted_server "$here/hostile_server.py" steady "$requests"
requests_seen() { [ "$(grep -c '^request' "$requests")" -ge "$1" ]; }

launch_program program
wait_for 30 find_main_window || {
  no_window program
  exit 1
}
get

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

close_with_escape soak
[ "$fds" -eq "$first_fds" ] || fail "descriptors changed"
[ "${growth#-}" -le "$max_growth_kib" ] ||
  fail "resident memory moved by more than $max_growth_kib KiB"
report "gtk soak" "files in $out"

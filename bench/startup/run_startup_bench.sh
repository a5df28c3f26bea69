#!/usr/bin/env bash
# The startup figures: exec -> window mapped for cdktool (its version check
# answered by the demo server on loopback), for the window with no handler
# bound, and for a minimal GTK 3 window, side by side; idle CPU;
# ProcessEvents with nothing waiting.
#
# Usage: bench/startup/run_startup_bench.sh BUILD_DIR [RUNS] [IDLE_SECONDS]
#          [NAME=PROGRAM...]
# Further NAME=PROGRAM pairs join the comparison, for instance the program
# built from an earlier commit.
set -euo pipefail

build=$(cd "$1" && pwd)
runs=${2:-20}
idle_seconds=${3:-30}
shift $(($# < 3 ? $# : 3))
top=$(cd "$(dirname "$0")/../.." && pwd)
bench="$build/bench/startup"
port=$(sed -n 's/^CDK_BENCH_PORT:STRING=//p' "$build/CMakeCache.txt")
scratch=$(mktemp -d)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

printf '<html><body>==0.2==</body></html>\n' >"$scratch/page.html"
python3 "$top/demo/announcement_server.py" --port "$port" \
  --page "$scratch/page.html" --log "$scratch/requests.log" \
  >"$scratch/server.out" 2>&1 &
server_pid=$!
deadline=$((SECONDS + 15))
until grep -q serving "$scratch/server.out"; do
  [ $SECONDS -lt $deadline ] || { echo "no demo server on $port" >&2; exit 1; }
  sleep 0.05
done

"$top/tests/e2e/with_display.sh" bash -c '
  bench=$1 runs=$2 idle=$3
  shift 3
  "$bench/startup_bench" "$runs" "$idle" cdktool="$bench/cdktool_bench" \
    window_only="$bench/window_only" "$@" \
    minimal_gtk_label="$bench/minimal_gtk_label" \
    minimal_gtk="$bench/minimal_gtk_window"
  echo
  "$bench/process_events_bench" --benchmark_repetitions=10 \
    --benchmark_report_aggregates_only=true
' _ "$bench" "$runs" "$idle_seconds" "$@"

echo
echo "version-check requests answered: $(grep -c announcement "$scratch/requests.log")"

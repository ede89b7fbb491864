#!/usr/bin/env bash
# Event streams beside ordinary requests, on the real program (server and the
# JSON API on, plotting loopback at one tick a second):
#
#   without  /formatted.txt under wrk at 8 connections (1 s warm-up, 5 s)
#   with     the same while 200 event streams from 127.0.0.2 are held open
#            and read (bench_web_clients streams), so that the load comes
#            from other clients than the streams
#   memory   VmRSS with the 200 streams open, 1 s after the last one's head,
#            above the size just before they were opened; and the same after
#            the wrk load beside them
#
# The streams client prints how many events each stream got and whether all
# were still open at its end. Everything started here is stopped here, by
# PID, within about 40 s.
#
#   bench/scripts/program_streams.sh [build-dir]      (default: build-bench)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${1:-$FLOWLOOM_ROOT/build-bench}
STREAMS=200
STREAMS_FROM=127.0.0.2
CONNECTIONS=8
DURATION=5
WARMUP=1

clean_up_on_exit

install_missing wrk
ensure_built "$BUILD" flowloom bench_reference_process bench_web_clients
BUILD=$(cd "$BUILD" && pwd)
LO=$(loopback_position "$BUILD/bench/app/bench_reference_process")
[ -n "$LO" ] || { echo "no loopback interface" >&2; exit 1; }
CLIENTS="$BUILD/bench/web/bench_web_clients"

WORK=$(mktemp -d)
PORT=$(pick_port)
program_install "$WORK/p" "$BUILD/app/flowloom" First=0 "URL=$LO" "ServerIP=$LO" Web=1 \
    "Port=$PORT" Run=1 Format=1 JsonApi=1
program_start "$WORK/p" offscreen
wait_for_answer "$PORT" /formatted.txt &&
    wait_for_answer "$PORT" /api/v1/summary.json ||
    { echo "the program's server does not answer" >&2; cat "$WORK/p/err.txt" >&2; exit 1; }

URL="http://127.0.0.1:$PORT/formatted.txt"
mb_above() {
    awk -v k="$1" -v b="$2" 'BEGIN { printf "%.1f", (k - b) * 1024 / 1e6 }'
}
printf '%-16s %12s %10s %10s %8s\n' streams requests/s p50-ms p99-ms errors
measure() {
    local label=$1 rps p50 p99 errors non2xx
    wrk_measure "$URL" "$CONNECTIONS" "$WARMUP" > /dev/null
    read -r rps p50 p99 errors non2xx <<< "$(wrk_measure "$URL" "$CONNECTIONS" "$DURATION")"
    printf '%-16s %12s %10s %10s %8s\n' "$label" "$rps" "$p50" "$p99" "$((errors + non2xx))"
    result_put "streams.load.$label" "$rps" "$p50" "$p99" "$((errors + non2xx))"
}

measure none
sleep 1
BEFORE=$(rss_kb "$PROGRAM_PID")

: > "$WORK/streams.txt"
"$CLIENTS" streams "$PORT" "$STREAMS" $((2 * (WARMUP + DURATION) + 8)) "$STREAMS_FROM" \
    > "$WORK/streams.txt" &
STREAMS_PID=$!
remember_pid "$STREAMS_PID"
for _ in $(seq 1 200); do
    grep -q '^open' "$WORK/streams.txt" && break
    kill -0 "$STREAMS_PID" 2> /dev/null || break
    sleep 0.1
done
grep -q '^open' "$WORK/streams.txt" ||
    { echo "the $STREAMS streams were not all answered:" >&2; cat "$WORK/streams.txt" >&2; exit 1; }
sleep 1
OPENED=$(rss_kb "$PROGRAM_PID")

measure "$STREAMS"
LOADED=$(rss_kb "$PROGRAM_PID")
wait "$STREAMS_PID" || true
cat "$WORK/streams.txt"
kill -0 "$PROGRAM_PID" 2> /dev/null || { echo "the program ended under load" >&2; exit 1; }

echo "resident memory: before $(mb_above "$BEFORE" 0) MB, with $STREAMS streams +$(mb_above "$OPENED" "$BEFORE") MB, after the load beside them +$(mb_above "$LOADED" "$BEFORE") MB"
read -r _ held _ _ _ _ fewest _ most < <(grep '^streams' "$WORK/streams.txt") || true
result_put streams.memory "$(mb_above "$OPENED" "$BEFORE")" "$(mb_above "$LOADED" "$BEFORE")" \
    "${held:-?}" "${fewest:-?}" "${most:-?}"

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
#            the wrk load beside them (first round)
#
# Three rounds of both, in turn; each side's round with the median p99 counts.
#
# The streams client prints how many events each stream got and whether all
# were still open at its end. Everything started here is stopped here, by
# PID, within about 80 s.
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
ROUNDS=3

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
# One wrk figure; appends "rps p50 p99 errors" to the file named.
measure() {
    local label=$1 into=$2 rps p50 p99 errors non2xx
    wrk_measure "$URL" "$CONNECTIONS" "$WARMUP" > /dev/null
    read -r rps p50 p99 errors non2xx <<< "$(wrk_measure "$URL" "$CONNECTIONS" "$DURATION")"
    printf '%-8s %-16s %12s %10s %10s %8s\n' "$round" "$label" "$rps" "$p50" "$p99" \
        "$((errors + non2xx))"
    echo "$rps $p50 $p99 $((errors + non2xx))" >> "$into"
}
# The round whose p99 is the median of the rounds', as "rps p50 p99 errors".
median_round() {
    sort -g -k3 "$1" | awk '{ line[NR] = $0 } END { print line[int((NR + 1) / 2)] }'
}

# The machine may be shared: the load is measured in rounds, alone and beside
# the streams in turn, and each side's median round is kept.
: > "$WORK/none.txt"
: > "$WORK/with.txt"
printf '%-8s %-16s %12s %10s %10s %8s\n' round streams requests/s p50-ms p99-ms errors
for round in $(seq 1 "$ROUNDS"); do
    measure none "$WORK/none.txt"
    sleep 1
    before=$(rss_kb "$PROGRAM_PID")
    : > "$WORK/streams.txt"
    "$CLIENTS" streams "$PORT" "$STREAMS" $((WARMUP + DURATION + 5)) "$STREAMS_FROM" \
        > "$WORK/streams.txt" &
    streams_pid=$!
    remember_pid "$streams_pid"
    for _ in $(seq 1 200); do
        grep -q '^open' "$WORK/streams.txt" && break
        kill -0 "$streams_pid" 2> /dev/null || break
        sleep 0.1
    done
    grep -q '^open' "$WORK/streams.txt" ||
        { echo "the $STREAMS streams were not all answered:" >&2; cat "$WORK/streams.txt" >&2; exit 1; }
    sleep 1
    opened=$(rss_kb "$PROGRAM_PID")
    measure "$STREAMS" "$WORK/with.txt"
    loaded=$(rss_kb "$PROGRAM_PID")
    wait "$streams_pid" || true
    cat "$WORK/streams.txt"
    echo "resident memory: before $(mb_above "$before" 0) MB, with $STREAMS streams +$(mb_above "$opened" "$before") MB, after the load beside them +$(mb_above "$loaded" "$before") MB"
    if [ "$round" = 1 ]; then
        read -r _ held _ _ _ _ fewest _ most < <(grep '^streams' "$WORK/streams.txt") || true
        result_put streams.memory "$(mb_above "$opened" "$before")" "$(mb_above "$loaded" "$before")" \
            "${held:-?}" "${fewest:-?}" "${most:-?}"
    fi
done
kill -0 "$PROGRAM_PID" 2> /dev/null || { echo "the program ended under load" >&2; exit 1; }
echo "median rounds (requests/s p50 p99 errors): alone $(median_round "$WORK/none.txt"), beside $STREAMS streams $(median_round "$WORK/with.txt")"
result_put streams.load.none $(median_round "$WORK/none.txt")
result_put "streams.load.$STREAMS" $(median_round "$WORK/with.txt")

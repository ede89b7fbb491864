#!/usr/bin/env bash
# Web load on the real program: its web server on 127.0.0.1 (started from a
# temporary folder with a settings file that turns the server and plotting
# on), loaded with wrk (2 threads, "Connection: close", --latency, a 1 s
# warm-up then 5 s per figure) beside nginx serving, in the same run, static
# copies of the same documents (same bytes, so same size):
#
#   /formatted.txt  at 1, 8 and 64 connections, flowloom and nginx
#   /flowloom.jpg   at 1, 8 and 64 connections, flowloom (rendered for each
#                   request); nginx's static copy at 8 connections
#   /metrics        at 8 connections, flowloom, right after /formatted.txt
#
# Everything started here is stopped here, by PID, within about 80 s.
#
#   bench/scripts/program_web.sh [build-dir]      (default: build-bench)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${1:-$FLOWLOOM_ROOT/build-bench}
DURATION=5
WARMUP=1
CONNECTIONS=(1 8 64)

clean_up_on_exit

install_missing wrk nginx
ensure_built "$BUILD" flowloom bench_reference_process
BUILD=$(cd "$BUILD" && pwd)
LO=$(loopback_position "$BUILD/bench/app/bench_reference_process")
[ -n "$LO" ] || { echo "no loopback interface" >&2; exit 1; }

WORK=$(mktemp -d)
chmod 755 "$WORK"
PORT=$(pick_port)
program_install "$WORK/p" "$BUILD/app/flowloom" First=0 "URL=$LO" "ServerIP=$LO" Web=1 \
    "Port=$PORT" Run=1 CSV=1 Format=1 Metrics=1
STARTED_AT=${EPOCHREALTIME/./}
program_start "$WORK/p" offscreen
wait_for_answer "$PORT" /formatted.txt ||
    { echo "the program's server does not answer" >&2; cat "$WORK/p/err.txt" >&2; exit 1; }

# nginx serves what the program served, byte for byte.
mkdir -p "$WORK/n/www"
[ "$(http_get "$PORT" /formatted.txt "$WORK/n/www/formatted.txt")" = 200 ] &&
    [ "$(http_get "$PORT" /flowloom.jpg "$WORK/n/www/flowloom.jpg")" = 200 ] ||
    { echo "the documents could not be fetched" >&2; exit 1; }
[ "$(head -c 2 "$WORK/n/www/flowloom.jpg" | od -An -tx1 | tr -d ' ')" = ffd8 ] ||
    { echo "/flowloom.jpg is not a JPEG image" >&2; exit 1; }
chmod 644 "$WORK/n/www/"*
TEXT_BYTES=$(wc -c < "$WORK/n/www/formatted.txt")
JPEG_BYTES=$(wc -c < "$WORK/n/www/flowloom.jpg")
# Width and height from the JPEG's frame header (after FF C0: length, precision, height, width).
JPEG_SIZE=$(od -An -tu1 -v "$WORK/n/www/flowloom.jpg" | tr -s ' \n' ' ' |
    awk '{ for (i = 1; i < NF; i++) if ($i == 255 && ($(i+1) == 192 || $(i+1) == 194)) {
        printf "%dx%d", $(i+7) * 256 + $(i+8), $(i+5) * 256 + $(i+6); exit } }')
[ "$(http_get "$PORT" /metrics "$WORK/metrics.txt")" = 200 ] ||
    { echo "/metrics could not be fetched" >&2; exit 1; }
METRICS_BYTES=$(wc -c < "$WORK/metrics.txt")
echo "documents: /formatted.txt $TEXT_BYTES bytes, /flowloom.jpg $JPEG_BYTES bytes ($JPEG_SIZE), /metrics $METRICS_BYTES bytes"
result_put web.metrics.bytes "$METRICS_BYTES"
result_put web.documents "$TEXT_BYTES" "$JPEG_BYTES" "${JPEG_SIZE:-?}"

NGINX_PORT=$(pick_port)
start_nginx "$WORK/n" "$NGINX_PORT"
for document in formatted.txt flowloom.jpg; do
    [ "$(http_get "$NGINX_PORT" "/$document" "$WORK/body")" = 200 ] &&
        cmp -s "$WORK/body" "$WORK/n/www/$document" ||
        { echo "nginx does not serve the copy of /$document" >&2; exit 1; }
done

printf '%-16s %-12s %-10s %12s %10s %10s %8s\n' document connections server requests/s p50-ms p99-ms errors
run() {
    local document=$1 connections=$2 name=$3 port=$PORT rps p50 p99 errors non2xx
    [ "$name" = nginx ] && port=$NGINX_PORT
    local url="http://127.0.0.1:$port/$document"
    wrk_measure "$url" "$connections" "$WARMUP" > /dev/null
    read -r rps p50 p99 errors non2xx <<< "$(wrk_measure "$url" "$connections" "$DURATION")"
    printf '%-16s %-12s %-10s %12s %10s %10s %8s\n' "/$document" "$connections" "$name" "$rps" \
        "$p50" "$p99" "$((errors + non2xx))"
    result_put "web.${document##*.}.$name.$connections" "$rps" "$p50" "$p99" "$((errors + non2xx))"
}
for c in "${CONNECTIONS[@]}"; do
    run formatted.txt "$c" flowloom
    run formatted.txt "$c" nginx
done
# Beside /formatted.txt at 8 connections of this run: the scrape's own document.
run metrics 8 flowloom
# The graph gains a point per second after two warm-up ticks: the size of its
# history halfway through the one-connection image figure, which the
# in-process floor is drawn with.
POINTS=$(((${EPOCHREALTIME/./} - STARTED_AT) / 1000000 + WARMUP + DURATION / 2 - 2))
echo "the graph holds about $POINTS points during /flowloom.jpg at 1 connection"
result_put web.jpg.points "$POINTS"
for c in "${CONNECTIONS[@]}"; do
    run flowloom.jpg "$c" flowloom
done
run flowloom.jpg 8 nginx

kill -0 "$PROGRAM_PID" 2> /dev/null || { echo "the program ended under load" >&2; exit 1; }

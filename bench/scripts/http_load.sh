#!/usr/bin/env bash
# Load on the HTTP server layer beside nginx, measured the same way in the same
# run: wrk, 2 threads, 8 and then 64 connections, 5 s each, every request with
# "Connection: close", both servers answering the same 350 bytes on 127.0.0.1.
# Everything started here is stopped here, by PID; the whole run takes about
# half a minute and cannot outlast its own time limits.
#
#   bench/scripts/http_load.sh [build-dir]      (default: build)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${1:-${BUILD:-$FLOWLOOM_ROOT/build}}
DURATION=5
CONNECTIONS=(8 64)
WARMUP=1

clean_up_on_exit

install_missing wrk nginx
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$FLOWLOOM_ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
fi
cmake --build "$BUILD" --target bench_http_server -j2 > /dev/null
SERVER_BIN="$BUILD/bench/web/bench_http_server"

WORK=$(mktemp -d)
chmod 755 "$WORK"
mkdir -p "$WORK/www"
# The same 350 bytes as bench_http_server: seven lines of 49 letters and a line feed.
for c in a b c d e f g; do printf '%49s\n' '' | tr ' ' "$c"; done > "$WORK/www/fixed.txt"
chmod 644 "$WORK/www/fixed.txt"
[ "$(wc -c < "$WORK/www/fixed.txt")" -eq 350 ]

RUN_SECONDS=$(((WARMUP + DURATION) * ${#CONNECTIONS[@]} + 30))

# Our server, on a port the system picks.
"$SERVER_BIN" 0 "$RUN_SECONDS" > "$WORK/server.out" 2> "$WORK/server.err" &
SERVER_PID=$!
remember_pid "$SERVER_PID"
OUR_PORT=""
for _ in $(seq 1 100); do
    OUR_PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/server.out")
    [ -n "$OUR_PORT" ] && break
    kill -0 "$SERVER_PID" 2>/dev/null || break
    sleep 0.1
done
[ -n "$OUR_PORT" ] || { cat "$WORK/server.err" >&2; exit 1; }

NGINX_PORT=$(pick_port)
start_nginx "$WORK" "$NGINX_PORT"

# Both must answer the very same body.
for port in "$OUR_PORT" "$NGINX_PORT"; do
    [ "$(http_get "$port" /fixed.txt "$WORK/body")" = 200 ] &&
        cmp -s "$WORK/body" "$WORK/www/fixed.txt" ||
        { echo "127.0.0.1:$port does not answer the 350 bytes" >&2; exit 1; }
done

printf '%-12s %-10s %12s %10s %10s %14s %8s\n' connections server requests/s p50-ms p99-ms socket-errors non-2xx
declare -A RPS
for c in "${CONNECTIONS[@]}"; do
    for name in flowloom nginx; do
        url="http://127.0.0.1:$OUR_PORT/fixed.txt"
        [ "$name" = nginx ] && url="http://127.0.0.1:$NGINX_PORT/fixed.txt"
        wrk_measure "$url" "$c" "$WARMUP" > /dev/null
        read -r rps p50 p99 errors non2xx <<< "$(wrk_measure "$url" "$c" "$DURATION")"
        RPS[$name$c]=$rps
        printf '%-12s %-10s %12s %10s %10s %14s %8s\n' "$c" "$name" "$rps" "$p50" "$p99" "$errors" "$non2xx"
        result_put "layer.$name.$c" "$rps" "$p50" "$p99" "$((errors + non2xx))"
    done
done
echo
for c in "${CONNECTIONS[@]}"; do
    ratio=$(awk -v a="${RPS[flowloom$c]}" -v b="${RPS[nginx$c]}" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    echo "flowloom / nginx at $c connections: $ratio"
done

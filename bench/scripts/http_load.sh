#!/usr/bin/env bash
# Load on the HTTP server layer beside nginx, measured the same way in the same
# run: wrk, 2 threads, 8 and then 64 connections, 5 s each, every request with
# "Connection: close", both servers answering the same 350 bytes on 127.0.0.1.
# Everything started here is stopped here, by PID; the whole run takes about
# half a minute and cannot outlast its own time limits.
#
#   bench/scripts/http_load.sh [build-dir]      (default: build)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${1:-${BUILD:-$ROOT/build}}
THREADS=2
DURATION=5
CONNECTIONS=(8 64)
WARMUP=1

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo

# wrk and nginx come from Debian. Package scripts must not start a system nginx
# on port 80: services are held back during the install unless already so.
install_missing() {
    local missing=()
    for p in wrk nginx; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing ${missing[*]}"
    local held=0
    if [ ! -e /usr/sbin/policy-rc.d ]; then
        printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d > /dev/null
        $SUDO chmod 755 /usr/sbin/policy-rc.d
        held=1
    fi
    local status=0
    { $SUDO apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" > /dev/null; } ||
        status=$?
    [ $held -eq 1 ] && $SUDO rm -f /usr/sbin/policy-rc.d
    return $status
}

WORK=""
SERVER_PID=""
NGINX_PID=""
stop_pid() {
    local pid=$1
    [ -n "$pid" ] || return 0
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 1 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
}
cleanup() {
    stop_pid "$SERVER_PID"
    stop_pid "$NGINX_PID"
    [ -n "$WORK" ] && rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

port_is_free() {
    ! (exec 3<> "/dev/tcp/127.0.0.1/$1") 2> /dev/null
}
pick_port() {
    local port
    for _ in $(seq 1 100); do
        # Below the ephemeral range, so wrk's own client ports never collide.
        port=$((20000 + RANDOM % 12000))
        port_is_free "$port" && { echo "$port"; return 0; }
    done
    return 1
}
wait_for_port() {
    for _ in $(seq 1 100); do
        port_is_free "$1" || return 0
        sleep 0.1
    done
    echo "nothing listens on 127.0.0.1:$1" >&2
    return 1
}

# One wrk run; prints: requests/s p50 p99 socket-errors non-2xx
measure() {
    local url=$1 connections=$2 seconds=$3 out
    out=$(timeout $((seconds + 20)) wrk -t"$THREADS" -c"$connections" -d"${seconds}s" --latency \
        -H "Connection: close" "$url")
    local rps p50 p99 errors non2xx
    rps=$(awk '/^Requests\/sec:/ {print $2}' <<< "$out")
    p50=$(awk '$1 == "50%" {print $2}' <<< "$out")
    p99=$(awk '$1 == "99%" {print $2}' <<< "$out")
    errors=$(awk -F'[ ,]+' '/Socket errors:/ {print $4 + $6 + $8 + $10}' <<< "$out")
    non2xx=$(awk '/Non-2xx/ {print $NF}' <<< "$out")
    echo "${rps:-0} ${p50:-?} ${p99:-?} ${errors:-0} ${non2xx:-0}"
}

install_missing
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
fi
cmake --build "$BUILD" --target bench_http_server -j2 > /dev/null
SERVER_BIN="$BUILD/bench/web/bench_http_server"

WORK=$(mktemp -d)
chmod 755 "$WORK"
mkdir -p "$WORK/www" "$WORK/logs"
# The same 350 bytes as bench_http_server: seven lines of 49 letters and a line feed.
for c in a b c d e f g; do printf '%49s\n' '' | tr ' ' "$c"; done > "$WORK/www/fixed.txt"
chmod 755 "$WORK/www"
chmod 644 "$WORK/www/fixed.txt"
[ "$(wc -c < "$WORK/www/fixed.txt")" -eq 350 ]

RUN_SECONDS=$(((WARMUP + DURATION) * ${#CONNECTIONS[@]} + 30))

# Our server, on a port the system picks.
"$SERVER_BIN" 0 "$RUN_SECONDS" > "$WORK/server.out" 2> "$WORK/server.err" &
SERVER_PID=$!
OUR_PORT=""
for _ in $(seq 1 100); do
    OUR_PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/server.out")
    [ -n "$OUR_PORT" ] && break
    kill -0 "$SERVER_PID" 2>/dev/null || break
    sleep 0.1
done
[ -n "$OUR_PORT" ] || { cat "$WORK/server.err" >&2; exit 1; }

# nginx with its own prefix and configuration, in the foreground of its PID.
NGINX_PORT=$(pick_port)
cat > "$WORK/nginx.conf" <<CONF
daemon off;
worker_processes auto;
pid $WORK/nginx.pid;
error_log $WORK/logs/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    types { text/plain txt; }
    server {
        listen 127.0.0.1:$NGINX_PORT;
        root $WORK/www;
    }
}
CONF
nginx -p "$WORK" -e "$WORK/logs/error.log" -c "$WORK/nginx.conf" &
NGINX_PID=$!
wait_for_port "$NGINX_PORT"

OURS_URL="http://127.0.0.1:$OUR_PORT/fixed.txt"
NGINX_URL="http://127.0.0.1:$NGINX_PORT/fixed.txt"
# Both must answer the very same body.
body_of() {
    exec 3<> "/dev/tcp/127.0.0.1/$1"
    printf 'GET /fixed.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' >&3
    timeout 5 cat <&3 | tr -d '\r' | sed '1,/^$/d'
    exec 3>&-
}
for port in "$OUR_PORT" "$NGINX_PORT"; do
    [ "$(body_of "$port")" = "$(cat "$WORK/www/fixed.txt")" ] ||
        { echo "127.0.0.1:$port does not answer the 350 bytes" >&2; exit 1; }
done

printf '%-12s %-10s %12s %10s %10s %14s %8s\n' connections server requests/s p50 p99 socket-errors non-2xx
declare -A RPS
for c in "${CONNECTIONS[@]}"; do
    for name in flowloom nginx; do
        url=$OURS_URL
        [ "$name" = nginx ] && url=$NGINX_URL
        measure "$url" "$c" "$WARMUP" > /dev/null
        read -r rps p50 p99 errors non2xx <<< "$(measure "$url" "$c" "$DURATION")"
        RPS[$name$c]=$rps
        printf '%-12s %-10s %12s %10s %10s %14s %8s\n' "$c" "$name" "$rps" "$p50" "$p99" "$errors" "$non2xx"
    done
done
echo
for c in "${CONNECTIONS[@]}"; do
    ratio=$(awk -v a="${RPS[flowloom$c]}" -v b="${RPS[nginx$c]}" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    echo "flowloom / nginx at $c connections: $ratio"
done

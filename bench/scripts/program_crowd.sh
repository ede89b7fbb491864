#!/usr/bin/env bash
# The load test of a crowding client on the real program's web server (on
# 127.0.0.1, "/formatted.txt" on): first 256 simultaneous requests warm the
# server; then one client opens 300 connections that send nothing, or that
# trickle a request head one byte a second, while another client makes 50
# requests for "/formatted.txt", 30 ms apart; then the crowd leaves and one more
# request must be answered. Each variant twice: the crowd from 127.0.0.2 and
# the requests from 127.0.0.3, then both from 127.0.0.1 (what one address can
# do to itself). Bounded: about 15 s a variant; everything stops by PID.
#
#   bench/scripts/program_crowd.sh [build-dir]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${1:-$FLOWLOOM_ROOT/build-bench}

clean_up_on_exit

ensure_built "$BUILD" flowloom bench_reference_process bench_web_clients
BUILD=$(cd "$BUILD" && pwd)
LO=$(loopback_position "$BUILD/bench/app/bench_reference_process")
[ -n "$LO" ] || { echo "no loopback interface" >&2; exit 1; }
WORK=$(mktemp -d)
PORT=$(pick_port)
program_install "$WORK/p" "$BUILD/app/flowloom" First=0 "URL=$LO" "ServerIP=$LO" Web=1 \
    "Port=$PORT" Run=1 Format=1
program_start "$WORK/p" offscreen
wait_for_answer "$PORT" /formatted.txt || { echo "the program's server does not answer" >&2; exit 1; }

for kind in silent trickling; do
    for from in 127.0.0.2 127.0.0.1; do
        requests=127.0.0.3
        [ "$from" = 127.0.0.1 ] && requests=127.0.0.1
        line=$(timeout 120 "$BUILD/bench/web/bench_web_clients" crowd "$PORT" "$kind" "$from" "$requests")
        echo "$kind crowd from $from, requests from $requests: $line"
        # answered p50 p99 max serves-after
        result_put "crowd.$kind.$from" $(awk '{ print $2, $4, $6, $8, $10 }' <<< "$line")
    done
done
kill -0 "$PROGRAM_PID" 2> /dev/null || { echo "the program ended under load" >&2; exit 1; }

#!/usr/bin/env bash
# Start-up time of the real program: from exec to its web server answering
# "GET /formatted.txt" with 200, polled every 2 ms over loopback. The program
# starts from a temporary folder with a settings file that turns the server on
# at a free port on 127.0.0.1 and plotting on, on the offscreen platform; each
# start is closed with SIGTERM before the next. Beside it, in the same run, an
# empty Qt main window that starts listening once its event loop runs: the
# floor of any Qt Widgets program's start-up. Median of STARTS starts each.
#
#   bench/scripts/program_startup.sh [build-dir] [starts]   (default: build-bench, 10)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${1:-$FLOWLOOM_ROOT/build-bench}
STARTS=${2:-10}
POLL=0.002
LIMIT_SECONDS=10

clean_up_on_exit

ensure_built "$BUILD" flowloom bench_reference_process
BUILD=$(cd "$BUILD" && pwd)
REFERENCE="$BUILD/bench/app/bench_reference_process"
LO=$(loopback_position "$REFERENCE")
[ -n "$LO" ] || { echo "no loopback interface" >&2; exit 1; }

WORK=$(mktemp -d)
program_install "$WORK/p" "$BUILD/app/flowloom"

median() {
    tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "?"; exit }
        printf "%.1f", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

# Milliseconds between two microsecond counts, to a tenth.
ms_between() {
    local us=$(($2 - $1))
    printf '%d.%d' $((us / 1000)) $((us % 1000 / 100))
}

OURS=""
for i in $(seq 1 "$STARTS"); do
    port=$(pick_port)
    printf '[Plotter]\r\nFirst=0\r\nURL=%s\r\nServerIP=%s\r\nWeb=1\r\nPort=%s\r\nRun=1\r\n' \
        "$LO" "$LO" "$port" > "$WORK/p/flowloom.ini"
    rm -f "$WORK/p/flowloom.html"
    t0=${EPOCHREALTIME/./}
    (cd "$WORK/p" && exec env QT_QPA_PLATFORM=offscreen ./flowloom > /dev/null 2> "$WORK/p/err.txt") &
    pid=$!
    remember_pid "$pid"
    ready=""
    while :; do
        if answers_200 "$port" /formatted.txt; then
            ready=${EPOCHREALTIME/./}
            break
        fi
        kill -0 "$pid" 2> /dev/null || break
        [ $((${EPOCHREALTIME/./} - t0)) -lt $((LIMIT_SECONDS * 1000000)) ] || break
        short_sleep "$POLL"
    done
    stop_pid "$pid"
    [ -n "$ready" ] || { echo "start $i: the server never answered" >&2; cat "$WORK/p/err.txt" >&2; exit 1; }
    OURS+="$(ms_between "$t0" "$ready") "
done

REFS=""
for i in $(seq 1 "$STARTS"); do
    port=$(pick_port)
    t0=${EPOCHREALTIME/./}
    QT_QPA_PLATFORM=offscreen "$REFERENCE" window 30 "$port" > /dev/null 2>&1 &
    pid=$!
    remember_pid "$pid"
    ready=""
    while :; do
        if accepts "$port"; then
            ready=${EPOCHREALTIME/./}
            break
        fi
        kill -0 "$pid" 2> /dev/null || break
        [ $((${EPOCHREALTIME/./} - t0)) -lt $((LIMIT_SECONDS * 1000000)) ] || break
        short_sleep "$POLL"
    done
    stop_pid "$pid"
    [ -n "$ready" ] || { echo "reference start $i failed" >&2; exit 1; }
    REFS+="$(ms_between "$t0" "$ready") "
done

ours=$(median <<< "$OURS")
ref=$(median <<< "$REFS")
echo "start-up to answering, ms: $OURS"
echo "empty Qt window to listening, ms: $REFS"
echo "median: flowloom $ours ms, empty Qt window $ref ms"
result_put startup "$ours" "$ref"

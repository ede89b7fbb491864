#!/usr/bin/env bash
# Resident memory of the real program under image load, and after it: the web
# image set to 2000 x 2000 pixels as BMP (12 MB an image), 256 simultaneous
# requests for it over loopback, read twice over: once by the fast C++ client
# (bench_web_clients, every reply read as fast as it comes), once by slow
# readers (slow_readers.py: one Python thread a request, 64 KB every 4 ms, as
# a browser on an ordinary link reads). For each program given and each load:
#
#   idle    VmRSS with the server running, before the load
#   peak    VmHWM during the load (the high-water mark, reset just before it)
#   after   VmRSS 10 s after the last reply
#
# The optional second binary is measured the same way in the same run, one
# after the other (make bench passes the landed code's program there when
# BENCH_REFERENCE names a revision).
#
#   bench/scripts/program_memory.sh [build-dir] [reference-binary]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${1:-$FLOWLOOM_ROOT/build-bench}
REFERENCE_BINARY=${2:-}
REQUESTS=256
AFTER_SECONDS=10

clean_up_on_exit
install_missing python3

ensure_built "$BUILD" flowloom bench_reference_process bench_web_clients
BUILD=$(cd "$BUILD" && pwd)
LO=$(loopback_position "$BUILD/bench/app/bench_reference_process")
[ -n "$LO" ] || { echo "no loopback interface" >&2; exit 1; }
CLIENTS="$BUILD/bench/web/bench_web_clients"
SCRIPTS="$FLOWLOOM_ROOT/bench/scripts"
WORK=$(mktemp -d)

hwm_kb() {
    awk '/^VmHWM:/ { print $2 }' "/proc/$1/status"
}

# The load: fast (bench_web_clients) or slow (slow_readers.py).
load() {
    local kind=$1 port=$2
    if [ "$kind" = slow ]; then
        python3 "$SCRIPTS/slow_readers.py" "$port" /flowloom.bmp "$REQUESTS" 65536 4 180
    else
        "$CLIENTS" images "$port" /flowloom.bmp "$REQUESTS"
    fi
}

measure() {
    local name=$1 binary=$2 kind=$3 dir="$WORK/$1-$3" port idle peak after key
    port=$(pick_port)
    program_install "$dir" "$binary" First=0 "URL=$LO" "ServerIP=$LO" Web=1 "Port=$port" Run=1 \
        HTTP=1 rbPercent=0 rbPixels=1 Width=2000 Height=2000 JPG=0 BMP=1 Temp=flowloom.bmp
    program_start "$dir" offscreen
    wait_for_answer "$port" /formatted.txt || { echo "$name: the server does not answer" >&2; return 1; }
    sleep 2
    idle=$(rss_kb "$PROGRAM_PID")
    # The high-water mark from here on (writing 5 resets it to the current size).
    echo 5 > "/proc/$PROGRAM_PID/clear_refs"
    load "$kind" "$port" | sed "s/^/$name, $kind readers: /" ||
        echo "$name, $kind readers: not every reply came whole"
    peak=$(hwm_kb "$PROGRAM_PID")
    sleep "$AFTER_SECONDS"
    after=$(rss_kb "$PROGRAM_PID")
    kill -0 "$PROGRAM_PID" 2> /dev/null || { echo "$name ended under load" >&2; return 1; }
    stop_pid "$PROGRAM_PID"
    key="memory.$name"
    [ "$kind" = slow ] && key="memory.slow.$name"
    awk -v n="$name/$kind" -v i="$idle" -v p="$peak" -v a="$after" 'BEGIN {
        printf "%-10s idle %7.1f MB  peak %7.1f MB (+%.1f)  after %ds %7.1f MB (+%.1f)\n",
            n, i * 1024 / 1e6, p * 1024 / 1e6, (p - i) * 1024 / 1e6, '"$AFTER_SECONDS"', a * 1024 / 1e6, (a - i) * 1024 / 1e6 }'
    result_put "$key" "$(awk -v k="$idle" 'BEGIN { printf "%.1f", k * 1024 / 1e6 }')" \
        "$(awk -v k="$peak" -v i="$idle" 'BEGIN { printf "%.1f", (k - i) * 1024 / 1e6 }')" \
        "$(awk -v k="$after" -v i="$idle" 'BEGIN { printf "%.1f", (k - i) * 1024 / 1e6 }')"
}

for kind in fast slow; do
    measure ours "$BUILD/app/flowloom" "$kind"
    if [ -n "$REFERENCE_BINARY" ]; then measure landed "$REFERENCE_BINARY" "$kind"; fi
done
exit 0

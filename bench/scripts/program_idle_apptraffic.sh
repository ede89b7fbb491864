#!/usr/bin/env bash
# Idle cost of the traffic per application: this build's program with
# AppTraffic=1 beside the same program with AppTraffic=0, measured in one run
# so that both see the same machine: COPIES instances of each, started side
# by side from folders of their own, plotting loopback at one tick per second
# with the window shown on the offscreen platform and the graph page current
# (so the sockets are polled once per 30 s, not every tick). CPU time is the scheduler's
# nanosecond account of every thread over SECONDS after start-up has settled,
# as a percentage of a core. Prints each instance, the mean of each setting
# and the difference, and records them for the table.
#
#   bench/scripts/program_idle_apptraffic.sh [build-dir] [seconds] [copies]
#   (defaults: build-bench, 60, 2)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${1:-$FLOWLOOM_ROOT/build-bench}
SECONDS_MEASURED=${2:-60}
COPIES=${3:-2}
SETTLE=${SETTLE:-40} # Qt's pooled start-up threads end after 30 s idle

clean_up_on_exit

ensure_built "$BUILD" flowloom bench_reference_process
BUILD=$(cd "$BUILD" && pwd)
PROGRAM="$BUILD/app/flowloom"
LO=$(loopback_position "$BUILD/bench/app/bench_reference_process")
[ -n "$LO" ] || { echo "no loopback interface" >&2; exit 1; }

WORK=$(mktemp -d)
declare -A PID
NAMES=()
# Alternating starts, so that neither setting always starts first.
for i in $(seq 1 "$COPIES"); do
    for which in on off; do
        name="$which-$i"
        setting=1
        [ "$which" = off ] && setting=0
        program_install "$WORK/$name" "$PROGRAM" First=0 "URL=$LO" Run=1 Web=0 "AppTraffic=$setting"
        program_start "$WORK/$name" offscreen
        program_wait_started "$WORK/$name" "$PROGRAM_PID" ||
            { echo "$name did not start:" >&2; cat "$WORK/$name/err.txt" >&2; exit 1; }
        PID[$name]=$PROGRAM_PID
        NAMES+=("$name")
    done
done

sleep "$SETTLE"
declare -A NS0
for name in "${NAMES[@]}"; do NS0[$name]=$(cpu_ns "${PID[$name]}"); done
T0=$EPOCHREALTIME
sleep "$SECONDS_MEASURED" &
remember_pid $!
wait $!
T1=$EPOCHREALTIME

declare -A SUM
SUM[on]=0
SUM[off]=0
printf '%-12s %12s\n' instance cpu-%-core
for name in "${NAMES[@]}"; do
    read -r ns0 ids0 <<< "${NS0[$name]}"
    read -r ns1 ids1 <<< "$(cpu_ns "${PID[$name]}")"
    [ "$ids0" = "$ids1" ] || { echo "$name: threads came or went during the measurement" >&2; exit 1; }
    percent=$(awk -v n=$((ns1 - ns0)) -v a="$T0" -v b="$T1" 'BEGIN { printf "%.4f", 100 * n / 1e9 / (b - a) }')
    printf '%-12s %12s\n' "$name" "$percent"
    SUM[${name%-*}]=$(awk -v s="${SUM[${name%-*}]}" -v p="$percent" 'BEGIN { print s + p }')
done
on=$(awk -v s="${SUM[on]}" -v n="$COPIES" 'BEGIN { printf "%.4f", s / n }')
off=$(awk -v s="${SUM[off]}" -v n="$COPIES" 'BEGIN { printf "%.4f", s / n }')
printf 'mean: AppTraffic=1 %s, AppTraffic=0 %s, difference %s %% of a core (over %.1f s)\n' \
    "$on" "$off" "$(awk -v a="$on" -v b="$off" 'BEGIN { printf "%+.4f", a - b }')" \
    "$(awk -v a="$T0" -v b="$T1" 'BEGIN { print b - a }')"
result_put "idle.apptraffic.on" "$on"
result_put "idle.apptraffic.off" "$off"
for name in "${NAMES[@]}"; do stop_pid "${PID[$name]}"; done

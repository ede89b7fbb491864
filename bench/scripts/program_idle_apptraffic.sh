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

idle_side_by_side "$COPIES" "$SECONDS_MEASURED" "$SETTLE" on "$PROGRAM" AppTraffic=1 \
    off "$PROGRAM" AppTraffic=0
on=${IDLE_MEAN[on]}
off=${IDLE_MEAN[off]}
printf 'mean: AppTraffic=1 %s, AppTraffic=0 %s, difference %s %% of a core (over %s s)\n' \
    "$on" "$off" "$(awk -v a="$on" -v b="$off" 'BEGIN { printf "%+.4f", a - b }')" "$IDLE_SPAN"
result_put "idle.apptraffic.on" "$on"
result_put "idle.apptraffic.off" "$off"

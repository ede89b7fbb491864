#!/usr/bin/env bash
# Idle cost of this build's program beside another build of it (for example
# the main branch's), measured in one run so that both see the same machine:
# COPIES instances of each, started side by side from folders of their own,
# plotting loopback at one tick per second with the window shown on the
# offscreen platform (IDLE_DISPLAY=xvfb: a real X window on a display of its
# own, with a window manager). CPU time is the scheduler's nanosecond account
# of every thread over SECONDS after start-up has settled, as a percentage of a
# core. Prints each instance, the mean of each program and the difference.
#
#   [IDLE_DISPLAY=xvfb] bench/scripts/program_idle_versus.sh BASELINE-BINARY [build-dir] [seconds] [copies]
#   (defaults: build-bench, 120, 3)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BASELINE=${1:?the baseline program to compare with}
BUILD=${2:-$FLOWLOOM_ROOT/build-bench}
SECONDS_MEASURED=${3:-120}
COPIES=${4:-3}
SETTLE=${SETTLE:-40} # Qt's pooled start-up threads end after 30 s idle

clean_up_on_exit

ensure_built "$BUILD" flowloom bench_reference_process
BUILD=$(cd "$BUILD" && pwd)
PROGRAM="$BUILD/app/flowloom"

idle_side_by_side "$COPIES" "$SECONDS_MEASURED" "$SETTLE" ours "$PROGRAM" "" baseline "$BASELINE" ""
ours=${IDLE_MEAN[ours]}
baseline=${IDLE_MEAN[baseline]}
printf 'mean: this build %s, baseline %s, difference %s %% of a core (over %s s)\n' \
    "$ours" "$baseline" "$(awk -v a="$ours" -v b="$baseline" 'BEGIN { printf "%+.4f", a - b }')" \
    "$IDLE_SPAN"

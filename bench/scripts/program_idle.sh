#!/usr/bin/env bash
# Idle cost and resident memory of the real program, each instance started
# from a temporary folder of its own with a prepared settings file, plotting
# loopback at one tick per second:
#
#   shown/offscreen       window shown on Qt's offscreen platform
#   minimised/offscreen   started minimised ("StartMin=1"); the offscreen
#                         platform has no window manager, so the window stays
#                         exposed
#   shown/xvfb            a real X window on a virtual display of its own,
#                         managed by a window manager as on a desktop
#   minimised/xvfb        the same started minimised; the window manager
#                         unmaps it (checked), so nothing needs drawing. Qt
#                         on X11 may lose the start-up iconify request in a
#                         race with the window manager; the window is then
#                         minimised through the window manager, as a user
#                         would, and the script says so.
#
# beside reference processes measured in the same run over the same seconds:
#   floor             bench/floor/floor_sampler: plain C, no Qt, one rtnetlink
#                     link dump a second and nothing else
#   floor/sized       the same sampler holding as much resident memory as the
#                     minimised X11 instance, touched once at start: on some
#                     virtual machines a wake-up costs in proportion to the
#                     process's resident size, whatever it touches
#   window            an empty Qt main window of the same size, shown
#
# CPU time is the scheduler's nanosecond account of every thread, threads
# that ended during the measurement included: each process's CPU-time clock
# (bench/floor/process_cpu), read at both ends of SECONDS after start-up has
# settled, as a percentage of one core. Cross-checks, printed beside it: the
# sum of the live threads' /proc/PID/task/*/schedstat (equal when no thread
# came or went) and user + system time from /proc/PID/stat (whole clock
# ticks). Wake-ups per second: the times the live threads were put on a
# processor (schedstat's third field), where the same threads lived at both
# ends. Resident memory (VmRSS) is read when the measurement starts. All
# instances run side by side and end with the measurement.
#
#   bench/scripts/program_idle.sh [build-dir] [seconds]   (default: build-bench, 60)
#
# IDLE_SETTINGS, when set, adds "Key=value" lines (separated by spaces) to
# every instance's settings, for example IDLE_SETTINGS=AppTraffic=0: the
# traffic per application walks the kernel's whole TCP table every 30 s,
# whose size follows the machine's other work, not the program's.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${1:-$FLOWLOOM_ROOT/build-bench}
SECONDS_MEASURED=${2:-60}
SETTLE=3

clean_up_on_exit

install_missing xvfb openbox x11-utils xdotool
ensure_built "$BUILD" flowloom bench_reference_process floor_sampler process_cpu
BUILD=$(cd "$BUILD" && pwd)
PROGRAM="$BUILD/app/flowloom"
REFERENCE="$BUILD/bench/app/bench_reference_process"
FLOOR="$BUILD/bench/floor/floor_sampler"
PROCESS_CPU="$BUILD/bench/floor/process_cpu"
LO=$(loopback_position "$REFERENCE")
[ -n "$LO" ] || { echo "no loopback interface" >&2; exit 1; }
CLK_TCK=$(getconf CLK_TCK)

DISPLAYS=(offscreen xvfb)

WORK=$(mktemp -d)
declare -A PID DISPLAY_OF
NAMES=()
for display in "${DISPLAYS[@]}"; do
    for state in shown minimised; do
        name="$state/$display"
        dir="$WORK/${state}-${display}"
        startMin=0
        [ "$state" = minimised ] && startMin=1
        # shellcheck disable=SC2086
        program_install "$dir" "$PROGRAM" First=0 "URL=$LO" "ServerIP=$LO" Run=1 Web=0 \
            "StartMin=$startMin" ${IDLE_SETTINGS:-}
        program_start "$dir" "$display"
        program_wait_started "$dir" "$PROGRAM_PID" ||
            { echo "$name did not start:" >&2; cat "$dir/err.txt" >&2; exit 1; }
        PID[$name]=$PROGRAM_PID
        DISPLAY_OF[$name]=$X_DISPLAY
        NAMES+=("$name")
    done
done

LIFETIME=$((SECONDS_MEASURED + SETTLE + 32 + 30))
"$FLOOR" "$LIFETIME" &
PID[floor]=$!
remember_pid "${PID[floor]}"
# As large as the minimised X11 instance, counting the sampler's own size.
sleep 0.2
SIZED_MB=$(( ($(rss_kb "${PID[minimised/xvfb]}") - $(rss_kb "${PID[floor]}") + 512) / 1024 ))
"$FLOOR" "$LIFETIME" "$SIZED_MB" &
PID[floor/sized]=$!
remember_pid "${PID[floor/sized]}"
for display in "${DISPLAYS[@]}"; do
    dir="$WORK/window-$display"
    mkdir -p "$dir"
    if [ "$display" = xvfb ]; then
        start_display "$dir/x"
        QT_QPA_PLATFORM=xcb DISPLAY=$X_DISPLAY "$REFERENCE" window "$LIFETIME" 0 > /dev/null 2>&1 &
    else
        QT_QPA_PLATFORM=offscreen "$REFERENCE" window "$LIFETIME" 0 > /dev/null 2>&1 &
    fi
    PID[window/$display]=$!
    remember_pid "${PID[window/$display]}"
done

sleep "$SETTLE"
if ! window_unmapped "${DISPLAY_OF[minimised/xvfb]}"; then
    echo "minimised/xvfb: the window came up not minimised; minimising it through the window manager"
    result_put "note.idle.startmin" "lost"
    minimise_window "${DISPLAY_OF[minimised/xvfb]}" ||
        { echo "the minimised window is still mapped" >&2; exit 1; }
    sleep "$SETTLE"
fi
window_unmapped "${DISPLAY_OF[shown/xvfb]}" &&
    { echo "the shown window is not mapped" >&2; exit 1; }
# Qt's raster engine paints large areas on pooled threads, which end after
# 30 s without work: in a window that paints little they would end during
# the measurement. The clock counts threads that ended, but their ending is
# start-up's cost, not idle cost: measured once they are gone.
sleep 32
ALL=("${NAMES[@]}" floor floor/sized)
for display in "${DISPLAYS[@]}"; do ALL+=("window/$display"); done
PIDS=()
declare -A RSS
for name in "${ALL[@]}"; do
    PIDS+=("${PID[$name]}")
    RSS[$name]=$(rss_kb "${PID[$name]}")
done
# One reading of every process at each end, taken together.
declare -A CLOCK0 SCHED0 THREADS0 TICKS0 RUNS0
while read -r pid clock sched threads ticks runs; do
    CLOCK0[$pid]=$clock SCHED0[$pid]=$sched THREADS0[$pid]=$threads TICKS0[$pid]=$ticks
    RUNS0[$pid]=$runs
done < <("$PROCESS_CPU" "${PIDS[@]}")
T0=$EPOCHREALTIME
# Waiting on a child keeps the script responsive to a stop request.
sleep "$SECONDS_MEASURED" &
remember_pid $!
wait $!
END=$("$PROCESS_CPU" "${PIDS[@]}") || { echo "a measured process ended during the measurement" >&2; exit 1; }
T1=$EPOCHREALTIME
declare -A PERCENT CHECK WAKES
while read -r pid clock sched threads ticks runs; do
    for name in "${ALL[@]}"; do [ "${PID[$name]}" = "$pid" ] && break; done
    [ "${CLOCK0[$pid]:-?}" != "?" ] || { echo "$name could not be read" >&2; exit 1; }
    PERCENT[$name]=$(awk -v n=$((clock - CLOCK0[$pid])) -v a="$T0" -v b="$T1" \
        'BEGIN { printf "%.4f", 100 * n / 1e9 / (b - a) }')
    # The cross-checks: schedstat over the live threads (only comparable when
    # the same number of threads lived at both ends) and whole clock ticks.
    sched_percent="-" WAKES[$name]="?"
    if [ "$threads" = "${THREADS0[$pid]}" ]; then
        sched_percent=$(awk -v n=$((sched - SCHED0[$pid])) -v a="$T0" -v b="$T1" \
            'BEGIN { printf "%.4f", 100 * n / 1e9 / (b - a) }')
        WAKES[$name]=$(awk -v n=$((runs - RUNS0[$pid])) -v a="$T0" -v b="$T1" \
            'BEGIN { printf "%.2f", n / (b - a) }')
    fi
    ticks_percent=$(awk -v t=$((ticks - TICKS0[$pid])) -v hz="$CLK_TCK" -v a="$T0" -v b="$T1" \
        'BEGIN { printf "%.3f", 100 * t / hz / (b - a) }')
    CHECK[$name]="$sched_percent $ticks_percent ${THREADS0[$pid]}->$threads"
done <<< "$END"

# Closing saves the settings: plotting must still have been on.
for name in "${NAMES[@]}"; do
    stop_pid "${PID[$name]}"
    dir="$WORK/${name%/*}-${name#*/}"
    grep -q $'^Run=1\r$' "$dir/flowloom.ini" ||
        { echo "$name was not plotting" >&2; exit 1; }
done

printf '%-22s %12s %12s %10s %10s %10s %10s\n' instance cpu-%-core schedstat-% ticks-% threads \
    rss-MB wakes/s
for name in "${ALL[@]}"; do
    mb=$(awk -v k="${RSS[$name]}" 'BEGIN { printf "%.1f", k * 1024 / 1e6 }')
    read -r sched_percent ticks_percent threads <<< "${CHECK[$name]}"
    printf '%-22s %12s %12s %10s %10s %10s %10s\n' "$name" "${PERCENT[$name]}" "$sched_percent" \
        "$ticks_percent" "$threads" "$mb" "${WAKES[$name]}"
    result_put "idle.$name" "${PERCENT[$name]}" "$mb" "${WAKES[$name]}"
done
echo "(CPU time over $(awk -v a="$T0" -v b="$T1" 'BEGIN { printf "%.1f", b - a }') s;" \
    "schedstat-% only where the same number of threads lived at both ends)"

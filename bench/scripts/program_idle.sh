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
# beside two reference processes measured in the same run:
#   sampler           one interface snapshot per second and nothing else
#   window            an empty Qt main window of the same size, shown
#
# CPU time is taken over SECONDS after start-up has settled, as a percentage
# of one core: the scheduler's nanosecond account of every thread when the
# same threads live at both ends, else user + system time of /proc/<pid>/stat
# (whole clock ticks, which include threads that ended). Resident memory
# (VmRSS) is read when the measurement starts. All instances run side by side and end with
# the measurement.
#
#   bench/scripts/program_idle.sh [build-dir] [seconds]   (default: build-bench, 60)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${1:-$FLOWLOOM_ROOT/build-bench}
SECONDS_MEASURED=${2:-60}
SETTLE=3

clean_up_on_exit

install_missing xvfb openbox x11-utils xdotool
ensure_built "$BUILD" flowloom bench_reference_process
BUILD=$(cd "$BUILD" && pwd)
PROGRAM="$BUILD/app/flowloom"
REFERENCE="$BUILD/bench/app/bench_reference_process"
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
        program_install "$dir" "$PROGRAM" First=0 "URL=$LO" "ServerIP=$LO" Run=1 Web=0 \
            "StartMin=$startMin"
        program_start "$dir" "$display"
        program_wait_started "$dir" "$PROGRAM_PID" ||
            { echo "$name did not start:" >&2; cat "$dir/err.txt" >&2; exit 1; }
        PID[$name]=$PROGRAM_PID
        DISPLAY_OF[$name]=$X_DISPLAY
        NAMES+=("$name")
    done
done

LIFETIME=$((SECONDS_MEASURED + SETTLE + 32 + 30))
"$REFERENCE" sampler "$LIFETIME" &
PID[sampler]=$!
remember_pid "${PID[sampler]}"
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
# 30 s without work; in a window that paints nothing they end during the
# measurement, whose CPU time would then come from whole clock ticks (0.017 %
# of a core each over 60 s). Measured once they are gone, every instance keeps
# its threads and the scheduler's nanosecond account applies.
sleep 32
ALL=("${NAMES[@]}" sampler)
for display in "${DISPLAYS[@]}"; do ALL+=("window/$display"); done
declare -A CPU0 NS0 RSS
for name in "${ALL[@]}"; do
    CPU0[$name]=$(cpu_ticks "${PID[$name]}")
    NS0[$name]=$(cpu_ns "${PID[$name]}")
    RSS[$name]=$(rss_kb "${PID[$name]}")
done
T0=$EPOCHREALTIME
# Waiting on a child keeps the script responsive to a stop request.
sleep "$SECONDS_MEASURED" &
remember_pid $!
wait $!
T1=$EPOCHREALTIME
declare -A PERCENT
for name in "${ALL[@]}"; do
    kill -0 "${PID[$name]}" 2>/dev/null || { echo "$name ended during the measurement" >&2; exit 1; }
    read -r ns0 ids0 <<< "${NS0[$name]}"
    read -r ns1 ids1 <<< "$(cpu_ns "${PID[$name]}")"
    if [ "$ids0" = "$ids1" ]; then
        seconds=$(awk -v n=$((ns1 - ns0)) 'BEGIN { printf "%.6f", n / 1e9 }')
    else
        ticks=$(($(cpu_ticks "${PID[$name]}") - CPU0[$name]))
        seconds=$(awk -v t="$ticks" -v hz="$CLK_TCK" 'BEGIN { printf "%.6f", t / hz }')
        echo "$name: threads came or went; CPU time from whole clock ticks" >&2
    fi
    PERCENT[$name]=$(awk -v s="$seconds" -v a="$T0" -v b="$T1" \
        'BEGIN { printf "%.3f", 100 * s / (b - a) }')
done

# Closing saves the settings: plotting must still have been on.
for name in "${NAMES[@]}"; do
    stop_pid "${PID[$name]}"
    dir="$WORK/${name%/*}-${name#*/}"
    grep -q $'^Run=1\r$' "$dir/flowloom.ini" ||
        { echo "$name was not plotting" >&2; exit 1; }
done

printf '%-22s %12s %10s\n' instance cpu-%-core rss-MB
for name in "${ALL[@]}"; do
    mb=$(awk -v k="${RSS[$name]}" 'BEGIN { printf "%.1f", k * 1024 / 1e6 }')
    printf '%-22s %12s %10s\n' "$name" "${PERCENT[$name]}" "$mb"
    result_put "idle.$name" "${PERCENT[$name]}" "$mb"
done
echo "(CPU time over $(awk -v a="$T0" -v b="$T1" 'BEGIN { printf "%.1f", b - a }') s)"

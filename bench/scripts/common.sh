# Shared pieces of the benchmark scripts, sourced by them (never run alone):
# Debian packages installed when missing, processes started and stopped by
# their PID, free loopback ports, wrk runs, a private nginx, the real program
# in a temporary folder, and the results file that run_all.sh turns into the
# performance table.
#
# Every server started here listens on 127.0.0.1 only; every load is bounded
# in time; everything started is remembered and stopped by PID on exit.

FLOWLOOM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo

# ---- packages ------------------------------------------------------------

# Installs the given Debian packages that are not installed yet. Package
# scripts must not start a system nginx on port 80: service starts are held
# back during the install unless something already holds them.
install_missing() {
    local missing=() p
    for p in "$@"; do
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

# ---- processes -------------------------------------------------------------

STARTED_PIDS=()
remember_pid() {
    STARTED_PIDS+=("$1")
}

# Stops one remembered process now and forgets it, so that a later clean-up
# never signals a process that has since taken its number.
stop_and_forget() {
    local keep=() pid
    stop_pid "$1"
    for pid in "${STARTED_PIDS[@]}"; do
        [ "$pid" = "$1" ] || keep+=("$pid")
    done
    STARTED_PIDS=("${keep[@]}")
}

# A script's work folder (WORK, made by the script) is removed and every
# process it started is stopped when it ends, however it ends.
WORK=""
remove_work_and_stop() {
    stop_started
    if [ -n "$WORK" ]; then rm -rf "$WORK"; fi
}
clean_up_on_exit() {
    trap remove_work_and_stop EXIT
    trap 'exit 130' INT TERM
}

# Asks the process to end (SIGTERM), waits up to 5 s, then kills it.
stop_pid() {
    local pid=$1
    [ -n "$pid" ] || return 0
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        local _
        for _ in $(seq 1 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
}

# Stops every remembered process, the last started first.
stop_started() {
    local i
    for ((i = ${#STARTED_PIDS[@]} - 1; i >= 0; i--)); do
        stop_pid "${STARTED_PIDS[i]}"
    done
    STARTED_PIDS=()
}

# A sleep of a fraction of a second without starting a process, so that a
# polling loop measures the program rather than its own forks.
SLEEP_FD=""
short_sleep() {
    if [ -z "$SLEEP_FD" ]; then
        local fifo
        fifo=$(mktemp -u)
        mkfifo "$fifo"
        exec {SLEEP_FD}<> "$fifo"
        rm -f "$fifo"
    fi
    read -r -t "$1" -u "$SLEEP_FD" _ || true
}

# ---- loopback ports --------------------------------------------------------

port_is_free() {
    ! (exec 3<> "/dev/tcp/127.0.0.1/$1") 2> /dev/null
}

# A port below the ephemeral range, so that wrk's own client ports never collide.
PICKED_PORTS=" "
pick_port() {
    local port _
    for _ in $(seq 1 200); do
        port=$((20000 + RANDOM % 12000))
        case "$PICKED_PORTS" in *" $port "*) continue ;; esac
        if port_is_free "$port"; then
            PICKED_PORTS+="$port "
            echo "$port"
            return 0
        fi
    done
    return 1
}

wait_for_port() {
    local _
    for _ in $(seq 1 100); do
        port_is_free "$1" || return 0
        sleep 0.1
    done
    echo "nothing listens on 127.0.0.1:$1" >&2
    return 1
}

# One GET over a fresh connection: the status code on stdout, the body into a file.
http_get() {
    local port=$1 path=$2 out=$3 fd status line
    exec {fd}<> "/dev/tcp/127.0.0.1/$port" || return 1
    printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' "$path" >&"$fd"
    IFS= read -r -t 5 status <&"$fd" || status=""
    while IFS= read -r -t 5 line <&"$fd"; do
        line=${line%$'\r'}
        [ -z "$line" ] && break
    done
    timeout 5 cat <&"$fd" > "$out" || true
    exec {fd}>&-
    status=${status#HTTP/1.? }
    echo "${status%% *}"
}

# Whether 127.0.0.1:PORT answers "GET PATH" with status 200. Starts no
# process, so that a polling loop measures the server rather than its forks.
answers_200() {
    local fd status line
    { exec {fd}<> "/dev/tcp/127.0.0.1/$1"; } 2> /dev/null || return 1
    printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' "$2" 1>&"$fd" 2> /dev/null
    IFS= read -r -t 5 status <&"$fd" || status=""
    while IFS= read -r -t 5 line <&"$fd"; do :; done
    exec {fd}>&-
    [[ $status == "HTTP/1."?" 200"* ]]
}

# Waits up to 10 s for the started program (PROGRAM_PID) to answer PATH on
# PORT with 200; gives up at once when the program has ended.
wait_for_answer() {
    local port=$1 path=$2 _
    for _ in $(seq 1 200); do
        answers_200 "$port" "$path" && return 0
        kill -0 "$PROGRAM_PID" 2> /dev/null || break
        sleep 0.05
    done
    answers_200 "$port" "$path"
}

# Whether something accepts connections on 127.0.0.1:PORT (no process started).
accepts() {
    local fd
    { exec {fd}<> "/dev/tcp/127.0.0.1/$1"; } 2> /dev/null || return 1
    exec {fd}>&-
}

# ---- wrk -------------------------------------------------------------------

WRK_THREADS=2

# A latency as wrk prints it ("850.00us", "1.23ms", "1.02s") in milliseconds.
latency_ms() {
    awk -v t="$1" 'BEGIN {
        v = t + 0
        if (t ~ /us$/) v /= 1000; else if (t ~ /ms$/) v = v; else if (t ~ /m$/) v *= 60000;
        else if (t ~ /s$/) v *= 1000; else { print "?"; exit }
        printf "%.3f", v }'
}

# One wrk run, every request with "Connection: close"; prints:
#   requests/s p50-ms p99-ms socket-errors non-2xx
wrk_measure() {
    local url=$1 connections=$2 seconds=$3 out threads=$WRK_THREADS
    # wrk wants at least one connection per thread.
    [ "$connections" -lt "$threads" ] && threads=$connections
    out=$(timeout $((seconds + 20)) wrk -t"$threads" -c"$connections" -d"${seconds}s" \
        --latency -H "Connection: close" "$url") || true
    local rps p50 p99 errors non2xx
    rps=$(awk '/^Requests\/sec:/ {print $2}' <<< "$out")
    p50=$(awk '$1 == "50%" {print $2}' <<< "$out")
    p99=$(awk '$1 == "99%" {print $2}' <<< "$out")
    errors=$(awk -F'[ ,]+' '/Socket errors:/ {print $4 + $6 + $8 + $10}' <<< "$out")
    non2xx=$(awk '/Non-2xx/ {print $NF}' <<< "$out")
    echo "${rps:-0} $(latency_ms "${p50:-?}") $(latency_ms "${p99:-?}") ${errors:-0} ${non2xx:-0}"
}

# ---- nginx -----------------------------------------------------------------

# nginx with its own prefix and configuration in WORK, serving WORK/www on
# 127.0.0.1:PORT, in the foreground of its PID (remembered as NGINX_PID).
# Its workers run as an unprivileged user: every folder above WORK/www must
# be open to them.
NGINX_PID=""
start_nginx() {
    local work=$1 port=$2
    mkdir -p "$work/logs" "$work/www"
    chmod 755 "$work" "$work/www"
    cat > "$work/nginx.conf" <<CONF
daemon off;
worker_processes auto;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    types { text/plain txt; image/jpeg jpg; }
    server {
        listen 127.0.0.1:$port;
        root $work/www;
    }
}
CONF
    nginx -p "$work" -e "$work/logs/error.log" -c "$work/nginx.conf" &
    NGINX_PID=$!
    remember_pid "$NGINX_PID"
    wait_for_port "$port"
}

# ---- results ---------------------------------------------------------------

# Appends "key value..." to the results file that run_all.sh reads, when one is set.
result_put() {
    [ -n "${FLOWLOOM_BENCH_RESULTS:-}" ] || return 0
    echo "$*" >> "$FLOWLOOM_BENCH_RESULTS"
}

# ---- the real program ------------------------------------------------------

# The program's own reading of the interface table (bench_reference_process
# lists it in the program's order): loopback's position, or nothing.
loopback_position() {
    "$1" interfaces | awk '$1 == "lo" { print NR - 1; exit }'
}

# Copies the binary into DIR and writes DIR/flowloom.ini with the given
# lines of section [Plotter] (CR LF line ends, as the program writes them).
program_install() {
    local dir=$1 binary=$2 line
    shift 2
    mkdir -p "$dir"
    cp "$binary" "$dir/flowloom"
    {
        printf '[Plotter]\r\n'
        for line in "$@"; do printf '%s\r\n' "$line"; done
    } > "$dir/flowloom.ini"
}

# A virtual X display of its own (Xvfb, no TCP listener, the first free
# display number) with a window manager, so that windows are managed as on a
# desktop and minimising really unmaps them. Sets X_DISPLAY; both PIDs are
# remembered.
X_DISPLAY=""
start_display() {
    local dir=$1 attempt
    # A display whose window manager never came up (seen now and then on a
    # loaded machine) is stopped and started once more.
    for attempt in 1 2; do
        start_display_once "$dir" && return 0
        [ "$attempt" = 1 ] && echo "starting the display once more" >&2
    done
    return 1
}

start_display_once() {
    local dir=$1 _ xvfb wm
    mkdir -p "$dir"
    X_DISPLAY=""
    rm -f "$dir/display"
    Xvfb -displayfd 5 -nolisten tcp -screen 0 1280x1024x24 5> "$dir/display" 2> "$dir/xvfb.err" &
    xvfb=$!
    remember_pid "$xvfb"
    # Generous limits: on a busy machine (a test run beside a build) Xvfb
    # and openbox may take seconds to come up.
    for _ in $(seq 1 400); do
        [ -s "$dir/display" ] && break
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.05
    done
    [ -s "$dir/display" ] || { echo "Xvfb did not start" >&2; stop_and_forget "$xvfb"; return 1; }
    X_DISPLAY=":$(head -1 "$dir/display")"
    DISPLAY=$X_DISPLAY openbox --sm-disable > "$dir/openbox.log" 2>&1 &
    wm=$!
    remember_pid "$wm"
    # The manager is at work once it has announced itself on the root window.
    for _ in $(seq 1 400); do
        DISPLAY=$X_DISPLAY xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" &&
            return 0
        kill -0 "$wm" 2>/dev/null || break
        sleep 0.05
    done
    echo "the window manager did not start:" >&2
    tail -5 "$dir/openbox.log" "$dir/xvfb.err" >&2
    stop_and_forget "$wm"
    stop_and_forget "$xvfb"
    return 1
}

# Starts DIR/flowloom from DIR on the offscreen platform ("offscreen") or as a
# real X window on a display of its own ("xvfb"). Sets PROGRAM_PID (and
# X_DISPLAY for "xvfb"); every PID involved is remembered.
PROGRAM_PID=""
program_start() {
    local dir=$1 display=$2
    PROGRAM_PID=""
    if [ "$display" = xvfb ]; then
        start_display "$dir/x" || return 1
        (cd "$dir" && exec env QT_QPA_PLATFORM=xcb DISPLAY="$X_DISPLAY" ./flowloom \
            > "$dir/out.txt" 2> "$dir/err.txt") &
    else
        (cd "$dir" && exec env QT_QPA_PLATFORM=offscreen ./flowloom > "$dir/out.txt" 2> "$dir/err.txt") &
    fi
    PROGRAM_PID=$!
    remember_pid "$PROGRAM_PID"
}

# The X window id of the program's main window on the display.
main_window_id() {
    DISPLAY=$1 xwininfo -root -tree | awk '/\("flowloom" "Flowloom"\)/ { print $1; exit }'
}

# Whether the program's main window on the display is unmapped (minimised by
# the window manager).
window_unmapped() {
    local id
    id=$(main_window_id "$1")
    [ -n "$id" ] && DISPLAY=$1 xwininfo -id "$id" | grep -q "Map State: IsUnMapped"
}

# Minimises the program's main window through the window manager, as the
# user's click on its minimise button does.
minimise_window() {
    local id _
    id=$(main_window_id "$1")
    [ -n "$id" ] || return 1
    DISPLAY=$1 xdotool windowminimize "$id"
    for _ in $(seq 1 40); do
        window_unmapped "$1" && return 0
        sleep 0.05
    done
    return 1
}

# Start-up is over once the program has written its user guide beside itself.
program_wait_started() {
    local dir=$1 pid=$2 _
    for _ in $(seq 1 200); do
        [ "$(stat -c %s "$dir/flowloom.html" 2>/dev/null || echo 0)" -gt 1000 ] && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

# CPU time of a process so far (user + system), in clock ticks.
cpu_ticks() {
    # The command name may hold spaces; the figures follow its closing parenthesis.
    sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

# CPU time of a process's live threads in ns (the scheduler's own account,
# /proc/<pid>/task/*/schedstat), then their ids: "ns id,id,...". Exact where
# utime and stime come in whole clock ticks, but blind to threads that ended.
cpu_ns() {
    local total=0 ids="" task ns
    for task in /proc/"$1"/task/*; do
        read -r ns _ < "$task/schedstat" 2>/dev/null || continue
        total=$((total + ns))
        ids+="${task##*/},"
    done
    echo "$total $ids"
}

# Resident memory of a process in kB.
rss_kb() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"
}

# Configures BUILD in Release when it has no configuration yet, then builds the
# given targets. Under run_all.sh, which has built everything once, nothing is
# rebuilt, so that every figure of a run comes from the same binaries.
ensure_built() {
    local build=$1
    shift
    [ -n "${FLOWLOOM_BENCH_BUILT:-}" ] && return 0
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$FLOWLOOM_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFLOWLOOM_TESTS=OFF > /dev/null
    fi
    cmake --build "$build" --target "$@" -j2 > /dev/null
}

# idle_side_by_side COPIES SECONDS SETTLE A-NAME A-BINARY A-SETTING B-NAME B-BINARY B-SETTING
# Idle cost of two programs (or one program with two settings), COPIES of each
# started alternately from folders of their own, plotting loopback at one tick
# a second with the window shown on the offscreen platform, or on a display
# of its own each with a window manager when IDLE_DISPLAY=xvfb. CPU time is the
# scheduler's nanosecond account of every thread over SECONDS after SETTLE
# seconds of start-up, as a percentage of a core. A setting is one extra
# "Key=value" for the settings file, or empty. Prints each instance and sets
# IDLE_MEAN[A-NAME], IDLE_MEAN[B-NAME] and IDLE_SPAN (the seconds measured).
declare -A IDLE_MEAN
IDLE_SPAN=0
idle_side_by_side() {
    local copies=$1 seconds=$2 settle=$3
    local -A binary=([$4]=$5 [$7]=$8) setting=([$4]=$6 [$7]=$9)
    local -a sides=("$4" "$7")
    local lo work name which i
    lo=$(loopback_position "$BUILD/bench/app/bench_reference_process")
    [ -n "$lo" ] || { echo "no loopback interface" >&2; return 1; }
    work=$(mktemp -d)
    local -A pid ns0 sum
    local -a names=()
    # Alternating starts, so that neither side always starts first.
    for i in $(seq 1 "$copies"); do
        for which in "${sides[@]}"; do
            name="$which-$i"
            # shellcheck disable=SC2086
            program_install "$work/$name" "${binary[$which]}" First=0 "URL=$lo" Run=1 Web=0 \
                ${setting[$which]}
            program_start "$work/$name" "${IDLE_DISPLAY:-offscreen}"
            program_wait_started "$work/$name" "$PROGRAM_PID" ||
                { echo "$name did not start:" >&2; cat "$work/$name/err.txt" >&2; return 1; }
            pid[$name]=$PROGRAM_PID
            names+=("$name")
        done
    done
    sleep "$settle"
    for name in "${names[@]}"; do ns0[$name]=$(cpu_ns "${pid[$name]}"); done
    local t0=$EPOCHREALTIME t1
    sleep "$seconds" &
    remember_pid $!
    wait $!
    t1=$EPOCHREALTIME
    for which in "${sides[@]}"; do sum[$which]=0; done
    printf '%-12s %12s\n' instance cpu-%-core
    local a0 ids0 a1 ids1 percent
    for name in "${names[@]}"; do
        read -r a0 ids0 <<< "${ns0[$name]}"
        read -r a1 ids1 <<< "$(cpu_ns "${pid[$name]}")"
        [ "$ids0" = "$ids1" ] ||
            { echo "$name: threads came or went during the measurement" >&2; return 1; }
        percent=$(awk -v n=$((a1 - a0)) -v a="$t0" -v b="$t1" \
            'BEGIN { printf "%.4f", 100 * n / 1e9 / (b - a) }')
        printf '%-12s %12s\n' "$name" "$percent"
        sum[${name%-*}]=$(awk -v s="${sum[${name%-*}]}" -v p="$percent" 'BEGIN { print s + p }')
    done
    for which in "${sides[@]}"; do
        IDLE_MEAN[$which]=$(awk -v s="${sum[$which]}" -v n="$copies" 'BEGIN { printf "%.4f", s / n }')
    done
    IDLE_SPAN=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", b - a }')
    for name in "${names[@]}"; do stop_pid "${pid[$name]}"; done
}

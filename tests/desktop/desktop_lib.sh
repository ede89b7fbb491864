# The desktop tier's tools, sourced by desktop_cases.sh: a virtual X display
# with a window manager (openbox) and a notification area (trayer), the real
# program started on it from a folder of its own, input events through XTest
# (xdotool), window state read from the X server (xprop, xwininfo) and the
# program's figures read from its web documents on 127.0.0.1.
#
# Nothing here sleeps for a fixed time: every wait polls a condition and gives
# up after a time limit.

FLOWLOOM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# Processes by PID, free ports, the program's folder, the display with its
# window manager and the start-up wait are the benchmark scripts' own.
source "$FLOWLOOM_ROOT/bench/scripts/common.sh"

# ---- waiting ---------------------------------------------------------------

# Hundredths of a second on the monotonic clock (since boot): waits must not
# end early when the machine's time sync steps the wall clock forward.
monotonic_cs() {
    local up
    read -r up _ < /proc/uptime
    echo $((10#${up/./}))
}

# wait_until SECONDS COMMAND...: runs COMMAND every 50 ms until it succeeds;
# fails once SECONDS have passed.
wait_until() {
    local deadline=$(($(monotonic_cs) + $1 * 100))
    shift
    while ! "$@"; do
        [ "$(monotonic_cs)" -gt "$deadline" ] && return 1
        short_sleep 0.05
    done
}

# ---- the desktop -----------------------------------------------------------

TRAY_PID=""
# A display of its own with openbox and, when asked, trayer's notification
# area (sets X_DISPLAY and DISPLAY).
start_desktop() {
    local dir=$1 tray=$2
    start_display "$dir/x" || return 1
    export DISPLAY=$X_DISPLAY
    if [ "$tray" = tray ]; then
        trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
            > "$dir/x/trayer.out" 2>&1 &
        TRAY_PID=$!
        remember_pid "$TRAY_PID"
        wait_until 10 tray_window > /dev/null || { echo "trayer did not start" >&2; return 1; }
    fi
}

# trayer's panel, which holds the docked icons.
tray_window() {
    xwininfo -root -tree 2> /dev/null | awk '!f && /"panel": \("panel" "trayer"\)/ { print $1; f = 1 } END { exit !f }'
}

# Starts DIR/flowloom from DIR as a real X window on the display (PROGRAM_PID),
# with the further arguments as its command line.
start_program() {
    local dir=$1
    shift
    # Buses of the case's own, or none: never the machine's.
    (cd "$dir" && exec env QT_QPA_PLATFORM=xcb \
        DBUS_SESSION_BUS_ADDRESS="${SESSION_BUS:-unix:path=$WORK/no-session-bus}" \
        DBUS_SYSTEM_BUS_ADDRESS="${SYSTEM_BUS:-unix:path=$WORK/no-system-bus}" \
        ./flowloom "$@" > "$dir/out.txt" 2> "$dir/err.txt") &
    PROGRAM_PID=$!
    remember_pid "$PROGRAM_PID"
}

# Whether the process has ended; its exit status is then in PROGRAM_STATUS.
program_ended() {
    kill -0 "$PROGRAM_PID" 2> /dev/null && return 1
    PROGRAM_STATUS=0
    wait "$PROGRAM_PID" 2> /dev/null || PROGRAM_STATUS=$?
    return 0
}

# ---- windows ---------------------------------------------------------------

# The program's top-level windows (also those never mapped).
program_windows() {
    xdotool search --all --pid "$PROGRAM_PID" --class '^flowloom$' 2> /dev/null
}

# The main window: titled "Flowloom", transient for no other window and no
# tray icon (which Qt marks as an override window).
main_window() {
    local id
    for id in $(program_windows); do
        [ "$(xdotool getwindowname "$id" 2> /dev/null)" = Flowloom ] || continue
        xprop -id "$id" WM_TRANSIENT_FOR 2> /dev/null | grep "window id" > /dev/null && continue
        xprop -id "$id" _NET_WM_WINDOW_TYPE 2> /dev/null | grep OVERRIDE > /dev/null && continue
        echo "$id"
        return 0
    done
    return 1
}

# Mapped dialog windows of the program, whose title matches the pattern.
dialog_window() {
    local pattern=$1 id
    for id in $(xdotool search --onlyvisible --pid "$PROGRAM_PID" --name "$pattern" 2> /dev/null); do
        xprop -id "$id" WM_TRANSIENT_FOR 2> /dev/null | grep "window id" > /dev/null || continue
        echo "$id"
        return 0
    done
    return 1
}

# The ICCCM state the window manager gave a window: Normal, Iconic or Withdrawn
# (empty when it has none).
wm_state() {
    xprop -id "$1" WM_STATE 2> /dev/null | awk '/window state:/ { print $3 }'
}

main_state_is() {
    local id
    id=$(main_window) || return 1
    [ "$(wm_state "$id")" = "$1" ]
}

# Whether the main window is off the screen: no window manager state but
# Withdrawn, and not viewable.
main_withdrawn() {
    local id state
    id=$(main_window) || return 0
    state=$(wm_state "$id")
    [ -z "$state" ] || [ "$state" = Withdrawn ] || return 1
    ! xwininfo -id "$id" 2> /dev/null | grep "Map State: IsViewable" > /dev/null
}

# Whether the window manager keeps the main window above others.
main_above() {
    local id
    id=$(main_window) || return 1
    xprop -id "$id" _NET_WM_STATE 2> /dev/null | grep _NET_WM_STATE_ABOVE > /dev/null
}

# The program's icon docked in the notification area: a window of the
# program inside trayer's panel.
tray_icon() {
    local panel
    panel=$(tray_window) || return 1
    xwininfo -id "$panel" -tree 2> /dev/null |
        awk '!f && /\("flowloom" "Flowloom"\)/ { print $1; f = 1 } END { exit !f }'
}

tray_empty() {
    ! tray_icon > /dev/null
}

# ---- input -----------------------------------------------------------------

# Screen position of the main window's client area.
main_origin() {
    local id
    id=$(main_window) || return 1
    xwininfo -id "$id" | awk '/Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
        END { print x, y }'
}

main_size() {
    local id
    id=$(main_window) || return 1
    xwininfo -id "$id" | awk '/^  Width:/ { w = $2 } /^  Height:/ { h = $2 } END { print w, h }'
}

# Screen position of a control's centre (see desktop_probe).
control_at() {
    local name=$1 origin size line
    origin=$(main_origin) && size=$(main_size) || return 1
    # shellcheck disable=SC2086
    line=$(QT_QPA_PLATFORM=offscreen "$PROBE" $size "$name") || return 1
    set -- $origin $line
    echo "$(($1 + $4)) $(($2 + $5))"
}

# Moves the pointer to X Y and waits until it is there. xdotool's --sync
# waits for a motion event, which never comes when the pointer is there
# already (it then gives up after about 15 s).
pointer_to() {
    [ "$(xdotool getmouselocation --shell 2> /dev/null | awk -F= '$1 == "X" { x = $2 }
        $1 == "Y" { y = $2 } END { print x, y }')" = "$1 $2" ] && return 0
    xdotool mousemove --sync "$1" "$2"
}

# A left click on a control of the main window.
click_control() {
    local at
    at=$(control_at "$1") || { echo "no control $1" >&2; return 1; }
    # shellcheck disable=SC2086
    pointer_to $at && xdotool click 1
}

# ---- the program's figures -------------------------------------------------

WEB_PORT=""
# The cumulative download total of the comma-separated document (loopback,
# where every request is itself traffic): one more tick has run when it grew.
download_total() {
    local body status
    body=$(mktemp -p "$WORK")
    status=$(http_get "$WEB_PORT" /netstats.txt "$body" 2> /dev/null) || status=""
    [ "$status" = 200 ] || { rm -f "$body"; return 1; }
    sed -n 's/.*TotalInSince [^=]*=\([0-9]*\),.*/\1/p' "$body"
    rm -f "$body"
}

LAST_TOTAL=""
total_grew() {
    local now
    now=$(download_total) || return 1
    [ -n "$now" ] || return 1
    if [ -z "$LAST_TOTAL" ] || [ "$now" -le "$LAST_TOTAL" ]; then
        [ -z "$LAST_TOTAL" ] && LAST_TOTAL=$now
        return 1
    fi
    LAST_TOTAL=$now
}

# Waits until plotting has visibly gone on: the total grew twice.
plotting_goes_on() {
    LAST_TOTAL=$(download_total) || LAST_TOTAL=""
    wait_until "${1:-8}" total_grew && wait_until "${1:-8}" total_grew
}

# Whether the program serves its documents (start-up is over).
web_answers() {
    [ -n "$(download_total)" ]
}

# ---- settings --------------------------------------------------------------

setting() {
    tr -d '\r' < "$1/flowloom.ini" | awk -F= -v k="$2" '!f && tolower($1) == tolower(k) { print $2; f = 1 }'
}

# ---- private D-Bus buses and their mock services ----------------------------

# start_bus NAME: a bus daemon of the case's own at a socket in WORK; its
# address goes into BUS_ADDRESS. The case points the program at it with
# SESSION_BUS or SYSTEM_BUS (a "system" bus is just another private bus).
BUS_ADDRESS=""
start_bus() {
    local socket=$WORK/$1-bus
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$socket" \
        > "$WORK/$1-bus.out" 2>&1 &
    remember_pid $!
    wait_until 10 test -S "$socket" || return 1
    BUS_ADDRESS="unix:path=$socket"
}

# bus_call ADDRESS DEST PATH METHOD [ARGS...]: a method call, its reply on stdout.
bus_call() {
    local address=$1 dest=$2 path=$3 method=$4
    shift 4
    gdbus call --address "$address" --dest "$dest" --object-path "$path" --method "$method" "$@"
}

name_owned() {
    [ "$(bus_call "$1" org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "$2" 2> /dev/null)" = "(true,)" ]
}

# start_mock ADDRESS TEMPLATE NAME LOG: python3-dbusmock's service from the
# template on the bus, logging every call it gets to LOG.
start_mock() {
    local address=$1 template=$2 name=$3 log=$4
    DBUS_SESSION_BUS_ADDRESS=$address DBUS_SYSTEM_BUS_ADDRESS=$address \
        /usr/bin/python3 -m dbusmock --template "$template" -l "$log" \
        > "$log.out" 2>&1 &
    remember_pid $!
    wait_until 20 name_owned "$address" "$name"
}

# What loopback has received, as the kernel counts it (/proc/net/dev shows
# the namespace of the reader).
loopback_received() {
    awk -F'[: ]+' '$2 == "lo" { print $3 }' /proc/net/dev
}

# loopback_bytes N: N bytes over one loopback TCP connection; in a private
# network namespace loopback then counts N received bytes and a little more
# (the headers).
loopback_bytes() {
    /usr/bin/python3 - "$1" << 'PYTHON'
import socket, sys, threading
n = int(sys.argv[1])
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(1)
def sink():
    conn, _ = server.accept()
    while conn.recv(1 << 20):
        pass
    conn.close()
reader = threading.Thread(target=sink)
reader.start()
client = socket.create_connection(server.getsockname())
block = bytes(1 << 20)
left = n
while left > 0:
    left -= client.send(block[:min(left, len(block))])
client.close()
reader.join()
server.close()
PYTHON
}

# The comma-separated document's field FIELD (digits only).
document_field() {
    local body status
    body=$(mktemp -p "$WORK")
    status=$(http_get "$WEB_PORT" /netstats.txt "$body" 2> /dev/null) || status=""
    [ "$status" = 200 ] || { rm -f "$body"; return 1; }
    sed -n "s/.*[ ,]$1=\([0-9]*\).*/\1/p" "$body"
    rm -f "$body"
}

# A picture of the main window into the folder SHOTS names, if it names one.
shoot_main_window() {
    [ -n "${SHOTS:-}" ] || return 0
    mkdir -p "$SHOTS"
    "$PROBE" shoot "$(main_window)" "$SHOTS/$1.png" || echo "no picture taken of $1" >&2
}

# A picture of the whole screen, as shoot_main_window.
shoot_screen() {
    [ -n "${SHOTS:-}" ] || return 0
    mkdir -p "$SHOTS"
    "$PROBE" shoot "$(xwininfo -root | awk '/Window id:/ { print $4 }')" "$SHOTS/$1.png" ||
        echo "no picture taken of $1" >&2
}

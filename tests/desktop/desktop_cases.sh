#!/usr/bin/env bash
# The desktop tier: one case of the real program on a virtual X display with
# openbox and (where the case needs one) trayer's notification area, driven
# by real input events and checked through the X server and the program's
# web documents.
#
#   desktop_cases.sh <flowloom binary> <desktop_probe binary> <case>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/desktop_lib.sh"

PROGRAM=$1
PROBE=$2
CASE=$3

for tool in Xvfb openbox trayer xdotool xprop xwininfo; do
    command -v "$tool" > /dev/null ||
        { echo "the desktop tier needs $tool (make deps installs it)" >&2; exit 1; }
done
# The cases of the desktop's services also need a bus daemon, gdbus and
# python3-dbusmock.
case $CASE in
cap_* | sleep_*)
    for tool in dbus-daemon gdbus; do
        command -v "$tool" > /dev/null ||
            { echo "the desktop tier needs $tool (make deps installs it)" >&2; exit 1; }
    done
    /usr/bin/python3 -c "import dbusmock" 2> /dev/null ||
        { echo "the desktop tier needs python3-dbusmock (make deps installs it)" >&2; exit 1; }
    ;;
esac

WORK=$(mktemp -d)
DIR=$WORK/program
cleanup() {
    stop_started
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL [$CASE]: $*" >&2
    echo "--- windows:" >&2
    xwininfo -root -tree 2> /dev/null | grep -i -e flowloom -e trayer >&2 || true
    if [ -s "$WORK/notify.log" ]; then
        echo "--- the notification service's log:" >&2
        cat "$WORK/notify.log" >&2
    fi
    echo "--- program's error output:" >&2
    cat "$DIR/err.txt" >&2 2> /dev/null || true
    exit 1
}

LOOPBACK=$("$PROBE" loopback) || fail "no loopback interface"
WEB_PORT=$(pick_port) || fail "no free port"

# The program in a folder of its own, plotting loopback and serving its
# documents on 127.0.0.1:WEB_PORT; further settings lines as arguments.
install_program() {
    program_install "$DIR" "$PROGRAM" First=0 "URL=$LOOPBACK" "ServerIP=$LOOPBACK" Run=1 Web=1 \
        "Port=$WEB_PORT" CSV=1 "$@"
}

# Starts the desktop (with a tray when asked) and the program (with the
# further arguments as its command line), and waits until it serves its
# documents.
start_case() {
    start_desktop "$WORK" "$1" || fail "the desktop did not start"
    start_program "$DIR" "${@:2}"
    wait_until 30 web_answers || fail "the program did not start serving"
}

# Starts the program with these settings, shown on the desktop without a
# tray, and waits until it plots.
start_plotting() {
    install_program "$@"
    start_case notray
    wait_until 10 main_state_is Normal || fail "the window did not open"
    plotting_goes_on || fail "plotting did not run at start"
}

# Ends the program by SIGTERM and waits for its exit (at most 5 s).
terminate_program() {
    kill -TERM "$PROGRAM_PID"
    wait_until 5 program_ended || fail "the program did not end within 5 s of SIGTERM"
    [ "$PROGRAM_STATUS" -eq 0 ] || fail "the program ended with status $PROGRAM_STATUS"
}

# Right-clicks at a position and clicks the item "Menu/Item" (see
# desktop_probe) of the menu that opens.
choose_menu_item() {
    local x=$1 y=$2 item=$3 menu offset
    pointer_to "$x" "$y"
    xdotool click 3
    wait_until 5 menu_open > /dev/null || fail "no menu opened"
    menu=$(menu_open)
    offset=$("$PROBE" 799 480 "$item" 2> /dev/null) || fail "no menu item $item"
    read -r x y <<< "$(xwininfo -id "$menu" | awk '/Absolute upper-left X:/ { x = $4 }
        /Absolute upper-left Y:/ { y = $4 } END { print x, y }')"
    set -- $offset
    pointer_to $((x + $2)) $((y + $3))
    xdotool click 1
    wait_until 5 menu_closed || fail "the menu stayed open"
}

# A menu of the program is on screen: a mapped override-redirect window
# that is neither a tooltip nor the docked tray icon.
menu_open() {
    local id icon
    icon=$(tray_icon 2> /dev/null) || icon=""
    for id in $(xdotool search --onlyvisible --pid "$PROGRAM_PID" --class '^flowloom$' 2> /dev/null); do
        [ -n "$icon" ] && [ $((id)) -eq $((icon)) ] && continue
        xwininfo -id "$id" 2> /dev/null | grep "Override Redirect State: yes" > /dev/null || continue
        xprop -id "$id" _NET_WM_WINDOW_TYPE 2> /dev/null | grep TOOLTIP > /dev/null && continue
        echo "$id"
        return 0
    done
    return 1
}
menu_closed() { ! menu_open > /dev/null; }

# The centre of a window on the screen.
window_centre() {
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
        /^  Width:/ { w = $2 } /^  Height:/ { h = $2 } END { print int(x + w / 2), int(y + h / 2) }'
}

no_dialog() { ! dialog_window "$1" > /dev/null; }
dialog_focused() {
    local id
    id=$(dialog_window "$1") || return 1
    [ "$(xdotool getwindowfocus 2> /dev/null)" = "$((id))" ]
}

# ---- the cases ---------------------------------------------------------------

# A click on each legend panel opens the colour choice; once it is closed,
# plotting goes on (the press must not reach the graph and stop its clock).
case_legend_panels() {
    start_plotting
    local panel
    for panel in Panel23 Panel25; do
        click_control "$panel" || fail "cannot click $panel"
        wait_until 10 dialog_window "^Select Color" > /dev/null || fail "$panel opened no colour dialog"
        wait_until 10 dialog_focused "^Select Color" || fail "the colour dialog has no focus"
        xdotool key Escape
        wait_until 10 no_dialog "^Select Color" || fail "the colour dialog did not close"
        plotting_goes_on || fail "plotting stopped after a click on $panel"
    done
    terminate_program
}

# Dragging the graph downwards pans its vertical axis upwards (the content
# follows the pointer) and plotting resumes on release; "Apply Vertical Axis
# Maximum" then stores the panned maximum.
case_drag_pans_and_resumes() {
    start_plotting Max=800 Auto=0
    local at x y step
    at=$(control_at Chart1) || fail "no graph"
    read -r x y <<< "$at"
    y=$((y - 40))
    pointer_to "$x" "$y"
    xdotool mousedown 1
    for step in 10 20 30 40 50 60 70 80; do
        pointer_to "$x" $((y + step))
    done
    xdotool mouseup 1
    plotting_goes_on || fail "plotting did not resume after the drag"
    choose_menu_item "$x" $((y + 80)) PopupMenu3/mnuApply
    terminate_program
    local max
    max=$(setting "$DIR" Max)
    [ -n "$max" ] && [ "$max" -gt 800 ] || fail "the drag did not raise the vertical axis (Max=$max)"
}

# "Start minimized" without the notification area: the window starts iconic.
case_start_minimized() {
    install_program StartMin=1 Minimize=0
    start_case notray
    plotting_goes_on || fail "plotting did not run at start"
    main_window > /dev/null || fail "no main window"
    main_state_is Iconic || fail "the window is $(wm_state "$(main_window)"), not Iconic"
    terminate_program
}

# "--minimized", as the start at login runs the program: minimised, without
# turning "Start minimized" on.
case_minimized_option() {
    install_program StartMin=0 Minimize=0
    start_case notray --minimized
    plotting_goes_on || fail "plotting did not run at start"
    wait_until 10 main_state_is Iconic ||
        fail "the window is $(wm_state "$(main_window)"), not Iconic"
    terminate_program
    [ "$(setting "$DIR" StartMin)" = 0 ] || fail "--minimized was stored as Start minimized"
}

# "Start at login" clicked on writes the autostart entry, which starts this
# program minimised; clicked off, it removes the entry.
case_start_at_login() {
    export XDG_CONFIG_HOME=$WORK/config
    local entry=$XDG_CONFIG_HOME/autostart/org.example.flowloom.desktop
    start_plotting
    [ ! -e "$entry" ] || fail "an autostart entry before the setting was turned on"
    click_control PageControl1:2 || fail "no Setup tab"
    click_control PageControl2:4 || fail "no Options tab"
    click_control cbAutoStart || fail "no Start at login"
    wait_until 10 test -f "$entry" || fail "turning Start at login on wrote no entry"
    grep -qx "Exec=$DIR/flowloom --minimized" "$entry" ||
        fail "the entry does not start $DIR/flowloom minimised: $(grep Exec "$entry")"
    click_control cbAutoStart || fail "no Start at login"
    wait_until 10 test ! -e "$entry" || fail "turning Start at login off left the entry"
    terminate_program
    [ "$(setting "$DIR" AutoStart)" = 0 ] || fail "AutoStart is $(setting "$DIR" AutoStart)"
}

# "Start minimized" with "Minimize to SysTray": only the tray icon shows;
# "Restore Flowloom" brings the window and takes the icon away.
case_start_minimized_to_tray() {
    install_program StartMin=1 Minimize=1
    start_case tray
    plotting_goes_on || fail "plotting did not run at start"
    wait_until 10 tray_icon > /dev/null || fail "no icon in the notification area"
    main_withdrawn || fail "the window is on screen ($(wm_state "$(main_window)"))"
    restore_from_tray
    terminate_program
}

restore_from_tray() {
    local icon at
    icon=$(tray_icon) || fail "no icon in the notification area"
    at=$(window_centre "$icon")
    # shellcheck disable=SC2086
    choose_menu_item $at PopupMenu1/mnuRestore
    wait_until 10 main_state_is Normal ||
        fail "Restore Flowloom did not bring the window back ($(wm_state "$(main_window)"))"
    wait_until 10 tray_empty || fail "the tray icon stayed after Restore Flowloom"
}

# Minimising with "Minimize to SysTray" puts the program into the
# notification area; "Restore Flowloom" brings it back.
case_tray_minimize_and_restore() {
    install_program Minimize=1
    start_case tray
    wait_until 10 main_state_is Normal || fail "the window did not open"
    tray_empty || fail "a tray icon shows beside the window"
    xdotool windowminimize "$(main_window)"
    wait_until 10 tray_icon > /dev/null || fail "minimising showed no tray icon"
    wait_until 10 main_withdrawn || fail "the window stayed on screen"
    plotting_goes_on || fail "plotting stopped in the notification area"
    restore_from_tray
    plotting_goes_on || fail "plotting stopped after the restore"
    terminate_program
}

# A second start for the same settings brings the first one's window back
# from the task bar and ends with a non-zero status; the first plots on.
case_second_start_shows_the_first() {
    local status=0
    start_plotting
    xdotool windowminimize "$(main_window)"
    wait_until 10 main_state_is Iconic || fail "the window did not minimise"
    DISPLAY=$DISPLAY timeout 10 "$DIR/flowloom" > /dev/null 2> "$WORK/second.txt" || status=$?
    [ "$status" -ne 0 ] && [ "$status" -ne 124 ] ||
        fail "the second start ended with status $status"
    grep -q "flowloom.ini" "$WORK/second.txt" || fail "the second start named no settings file"
    wait_until 10 main_state_is Normal || fail "the first window was not brought back"
    plotting_goes_on || fail "the first program stopped plotting"
    terminate_program
}

# "Stay on top" stored down opens the window above others; the button
# toggles it.
case_stay_on_top() {
    install_program Stay=1
    start_case notray
    wait_until 10 main_state_is Normal || fail "the window did not open"
    wait_until 10 main_above || fail "the window did not open above others"
    click_control btnStay
    wait_until 10 main_not_above || fail "Stay on top did not come off"
    wait_until 10 main_state_is Normal || fail "the window left the screen"
    click_control btnStay
    wait_until 10 main_above || fail "Stay on top did not come back"
    terminate_program
    [ "$(setting "$DIR" Stay)" = 1 ] || fail "Stay was not saved"
}
main_not_above() { ! main_above; }

# SIGTERM while the start-up's "cannot start the server" box is open: the
# box closes, the program closes in order and saves its settings.
case_sigterm_startup_box() {
    # Another copy holds the port.
    local holder=$WORK/holder
    program_install "$holder" "$PROGRAM" First=0 "ServerIP=$LOOPBACK" Web=1 "Port=$WEB_PORT"
    program_start "$holder" offscreen
    wait_for_port "$WEB_PORT" || fail "the port holder did not start"
    install_program
    start_desktop "$WORK" notray || fail "the desktop did not start"
    start_program "$DIR"
    wait_until 20 dialog_window "^Flowloom$" > /dev/null || fail "no start-up box"
    terminate_program
    [ "$(setting "$DIR" First)" = 0 ] || fail "the settings were not saved"
    [ -n "$(setting "$DIR" LastTotalIn$LOOPBACK)" ] || fail "the totals were not saved"
}

# SIGTERM while the close's "Unable to write" box is open ends the program.
case_sigterm_unable_to_write_box() {
    local id
    start_plotting
    rm "$DIR/flowloom.ini"
    mkdir "$DIR/flowloom.ini" # the settings cannot be written there any more
    # The user closes the window (the window manager's Alt+F4): the close's
    # box waits for an answer. A close by signal writes the failure to
    # standard error instead, so it needs no answer.
    id=$(main_window) || fail "no main window"
    xdotool windowactivate --sync "$id" key --clearmodifiers alt+F4
    wait_until 10 dialog_window "^Flowloom$" > /dev/null || fail "no Unable to write box"
    terminate_program
}

# Typing in "Points per page" takes effect when committed: "2" on the way to
# "200" must not end the run (one page, so 2 points would be past the limit).
case_typing_points_per_page() {
    start_plotting Pages=1 Points=400
    plotting_goes_on || fail "plotting did not run at start"
    click_control PageControl1:2 || fail "no Setup tab"
    click_control PageControl2:0 || fail "no Graph Axes tab"
    click_control spPoints || fail "no Points per page"
    xdotool key ctrl+a type 2
    plotting_goes_on || fail "typing 2 ended the run"
    xdotool type 00
    xdotool key Return
    plotting_goes_on || fail "the run ended after 200 was committed"
    terminate_program
    [ "$(setting "$DIR" Points)" = 200 ] || fail "Points is $(setting "$DIR" Points), not 200"
}

# F1 opens the user guide with the desktop's opener: a stand-in "xdg-open",
# first on PATH, records the address it is given. When the opener fails (no
# browser could be started), a message box says so.
case_f1_opens_the_guide() {
    local opener=$WORK/bin/xdg-open id
    mkdir -p "$WORK/bin"
    printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s/opened"\nexit "$(cat "%s/status")"\n' \
        "$WORK" "$WORK" > "$opener"
    chmod +x "$opener"
    echo 0 > "$WORK/status"
    export PATH=$WORK/bin:$PATH
    start_plotting
    id=$(main_window) || fail "no main window"
    xdotool windowactivate --sync "$id" key --clearmodifiers F1
    wait_until 10 test -s "$WORK/opened" || fail "F1 opened nothing"
    [ "$(cat "$WORK/opened")" = "file://$DIR/flowloom.html" ] ||
        fail "F1 opened $(cat "$WORK/opened"), not the guide"
    no_dialog "^Flowloom$" || fail "a message box after the guide opened"

    echo 4 > "$WORK/status" # what xdg-open returns when the browser fails
    xdotool windowactivate --sync "$id" key --clearmodifiers F1
    wait_until 10 dialog_window "^Flowloom$" > /dev/null || fail "a failed opening told nothing"
    [ "$(wc -l < "$WORK/opened")" -eq 2 ] || fail "the second F1 did not reach the opener"
    terminate_program
}

# ---- the desktop's services (private buses with python3-dbusmock) -----------

# Notify calls the mock notification service got, and of those the ones
# whose summary starts with the text.
notifies() { grep -c " Notify " "$WORK/notify.log" 2> /dev/null || true; }
# A log line: time, Notify, then the arguments (application, id, icon,
# summary, body, ...) each in double quotes.
notified() {
    grep " Notify " "$WORK/notify.log" 2> /dev/null | grep -c "^[^ ]* Notify \"Flowloom\" 0 \"[^\"]*\" \"$1" || true
}
notifies_are() { [ "$(notifies)" = "$1" ]; }

# Types a new cap into the Usage History page's size box.
set_cap_size() {
    click_control PageControl1:2 || fail "no Setup tab"
    click_control PageControl2:5 || fail "no Usage History tab"
    click_control spCapSize || fail "no cap size box"
    xdotool key ctrl+a type "$1"
    xdotool key Return
}

# A cap of 4 MB of download on loopback warns at 50 % (2 MB) and at 4 MB,
# each once, through the notification service; raised to 20 MB it warns
# again at 10 MB and at 20 MB, each once. Run in a private network
# namespace: loopback carries the case's bytes only.
case_cap_notifies_once_per_threshold() {
    local mb=$((1024 * 1024))
    start_bus session || fail "no session bus"
    SESSION_BUS=$BUS_ADDRESS
    start_mock "$SESSION_BUS" notification_daemon org.freedesktop.Notifications \
        "$WORK/notify.log" || fail "the mock notification service did not start"
    start_plotting DataCap=1 CapSize=4 CapUnit=0 CapCounts=0 CapShare=50
    notifies_are 0 || fail "a notice before the cap was near: $(cat "$WORK/notify.log")"

    loopback_bytes $((5 * mb / 2))
    wait_until 10 notifies_are 1 || fail "no notice at 50 % ($(notifies) sent)"
    [ "$(notified "50 % of the data cap reached")" = 1 ] || fail "not the share's notice"
    plotting_goes_on || fail "plotting stopped"
    notifies_are 1 || fail "the share warned again ($(notifies) sent)"

    loopback_bytes $((2 * mb))
    wait_until 10 notifies_are 2 || fail "no notice at the cap ($(notifies) sent)"
    [ "$(notified "Data cap reached")" = 1 ] || fail "not the cap's notice"
    plotting_goes_on || fail "plotting stopped"
    notifies_are 2 || fail "the cap warned again ($(notifies) sent)"

    # About 4.6 MB used: raised to 20 MB, both levels lie ahead again.
    set_cap_size 20
    plotting_goes_on || fail "plotting stopped after the cap was raised"
    notifies_are 2 || fail "raising the cap warned ($(notifies) sent)"
    loopback_bytes $((6 * mb))
    wait_until 10 notifies_are 3 || fail "no notice at 50 % of the new cap ($(notifies) sent)"
    [ "$(notified "50 % of the data cap reached")" = 2 ] || fail "not the new share's notice"
    loopback_bytes $((10 * mb))
    wait_until 10 notifies_are 4 || fail "no notice at the new cap ($(notifies) sent)"
    [ "$(notified "Data cap reached")" = 2 ] || fail "not the new cap's notice"
    plotting_goes_on || fail "plotting stopped"
    notifies_are 4 || fail "a level warned twice ($(notifies) sent)"
    shoot_main_window cap-notice-panel
    terminate_program
}

# With a session bus but no notification service on it, the warning shows
# in the tray's balloon while the program sits in the notification area.
case_cap_balloon_without_service() {
    local mb=$((1024 * 1024))
    start_bus session || fail "no session bus"
    SESSION_BUS=$BUS_ADDRESS
    install_program Minimize=1 DataCap=1 CapSize=2 CapUnit=0 CapCounts=0 CapShare=100
    start_case tray
    wait_until 10 main_state_is Normal || fail "the window did not open"
    xdotool windowminimize "$(main_window)"
    wait_until 10 tray_icon > /dev/null || fail "minimising showed no tray icon"
    balloon_shown && fail "a balloon before the cap was reached"
    loopback_bytes $((3 * mb))
    wait_until 15 balloon_shown || fail "no balloon when the cap was reached"
    shoot_screen cap-balloon
    terminate_program
}

# The balloon: a mapped tool-tip window of the program (nothing hovers).
balloon_shown() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$PROGRAM_PID" --class '^flowloom$' 2> /dev/null); do
        xprop -id "$id" _NET_WM_WINDOW_TYPE 2> /dev/null | grep TOOLTIP > /dev/null && return 0
    done
    return 1
}

inhibitors() {
    bus_call "$SYSTEM_BUS" org.freedesktop.login1 /org/freedesktop/login1 \
        org.freedesktop.login1.Manager.ListInhibitors 2> /dev/null
}
holds_inhibitor() { inhibitors | grep "'sleep', 'Flowloom'" | grep "'delay'" > /dev/null; }
no_inhibitor() { ! inhibitors | grep "'Flowloom'" > /dev/null; }
prepare_for_sleep() {
    bus_call "$SYSTEM_BUS" org.freedesktop.login1 /org/freedesktop/login1 \
        org.freedesktop.DBus.Mock.EmitSignal org.freedesktop.login1.Manager PrepareForSleep \
        b "[<$1>]" > /dev/null
}

# logind announces a sleep: the program takes its last reading and lets its
# delay inhibitor go. The machine "sleeps" (the process is stopped) for
# SLEEP_SECONDS while 48 MB cross loopback, then wakes. The graph shows a
# gap, the 48 MB make no peak, and the total keeps every byte of them. In a
# private network namespace.
case_sleep_is_a_gap() {
    local mb=$((1024 * 1024)) sent=$((48 * 1024 * 1024)) before after peak carried
    start_bus system || fail "no system bus"
    SYSTEM_BUS=$BUS_ADDRESS
    start_mock "$SYSTEM_BUS" logind org.freedesktop.login1 "$WORK/logind.log" ||
        fail "the mock logind did not start"
    # A low axis and wide points: the documents' own traffic fills the graph.
    start_plotting Max=40 Auto=0 Points=60
    wait_until 10 holds_inhibitor || fail "no delay inhibitor taken: $(inhibitors)"
    for _ in 1 2 3 4 5 6; do plotting_goes_on 4 || fail "plotting stopped"; done

    prepare_for_sleep true
    wait_until 10 no_inhibitor || fail "the inhibitor was kept over the sleep: $(inhibitors)"
    carried=$(loopback_received)
    before=$(download_total) || fail "no total before the sleep"
    kill -STOP "$PROGRAM_PID"
    loopback_bytes "$sent"
    # The sleep itself: a stretch of time, not a wait for something.
    sleep "${SLEEP_SECONDS:-10}"
    kill -CONT "$PROGRAM_PID"
    LAST_TOTAL=$before
    wait_until 10 total_grew || fail "no tick after the wake-up"
    prepare_for_sleep false
    wait_until 10 holds_inhibitor || fail "no inhibitor taken again after the wake-up"
    for _ in 1 2 3 4 5 6 7 8 9 10; do plotting_goes_on 4 || fail "plotting stopped after the sleep"; done

    after=$(download_total) || fail "no total after the sleep"
    carried=$(($(loopback_received) - carried))
    # Every byte: the 48 MB, their headers and the documents' own requests,
    # and no more than loopback carried (beside what it carried in the last
    # second before the sleep, counted by the wake-up's tick).
    [ $((after - before)) -ge "$sent" ] ||
        fail "the total lost bytes over the sleep: $((after - before)) < $sent"
    [ $((after - before)) -le $((carried + 64 * 1024)) ] ||
        fail "the total grew by more than loopback carried: $((after - before)) for $carried"
    peak=$(document_field PeakInPerSec) || fail "no peak"
    # 48 MB over the 10 s stop would be a peak of 4.8 MB/s, over one tick 48 MB/s.
    [ -n "$peak" ] && [ "$peak" -lt "$mb" ] || fail "the sleep made a peak: $peak bytes/s"
    shoot_main_window sleep-gap
    terminate_program
}

started=$(monotonic_cs)
"case_$CASE"
took=$(($(monotonic_cs) - started))
echo "desktop.$CASE passed in $((took / 100)).$((took % 100 / 10)) s"

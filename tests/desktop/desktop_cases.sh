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

started=$(monotonic_cs)
"case_$CASE"
took=$(($(monotonic_cs) - started))
echo "desktop.$CASE passed in $((took / 100)).$((took % 100 / 10)) s"

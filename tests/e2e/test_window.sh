#!/bin/bash
# The window opens on the simulated device and on the live machine, titled with
# the program's name, and File > Exit saves the four options.
source "$(dirname "$0")/lib.sh"
start_x wm

for backend in sim linux; do
    export KESTRUN_PLATFORM=$backend
    rm -f "$STORE"
    start_kestrun "first_$backend"
    pid_var="first_${backend}_PID"
    id=$(wait_window --onlyvisible) || { cat "$WORK/first_$backend.log" >&2; fail "no window on the $backend backend"; }
    [[ $(xdotool getwindowname "$id") == "Dravik Task Manager" ]] || fail "window title"
    [[ -f $STORE ]] && fail "options were written before exit"
    # File > Exit through the menu's keyboard mnemonics.
    xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id"
    sleep 0.5
    xdotool key --window "$id" alt+f
    sleep 0.5
    xdotool key x
    wait_exit "${!pid_var}" 20 || fail "File > Exit did not end the program ($backend)"
    expect_four_options
    echo "ok: $backend window opened and File > Exit saved the options"
done

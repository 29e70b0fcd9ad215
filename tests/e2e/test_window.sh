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
    # File > Exit through the menu's keyboard mnemonics (a loaded machine may need a retry).
    for attempt in 1 2 3; do
        xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id" 2>/dev/null || true
        sleep 1
        xdotool key alt+f
        sleep 1.5
        xdotool key x
        wait_exit "${!pid_var}" 10 && break
        xdotool key Escape 2>/dev/null || true
    done
    kill -0 "${!pid_var}" 2>/dev/null && fail "File > Exit did not end the program ($backend)"
    wait "${!pid_var}" || fail "the program ended with an error after File > Exit ($backend)"
    expect_four_options
    echo "ok: $backend window opened and File > Exit saved the options"
done

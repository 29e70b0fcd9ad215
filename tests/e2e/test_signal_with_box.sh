#!/bin/bash
# On bare X (no notification area, no window manager, no panel) the window opens
# without a box in front of it, and SIGTERM, SIGINT or SIGHUP with any modal box
# open (About, an error box, the End Process question) closes the program the
# way File > Exit does: the options are written, with the values of the session.
# A second copy started while a box is open hands over and ends (on the live
# machine: each copy on the simulated backend is a device of its own).
source "$(dirname "$0")/lib.sh"
start_x bare

# A process of our own for the End Process question: answered No, it lives on.
cp /bin/sleep "$WORK/zzkestrun-target"
"$WORK/zzkestrun-target" 600 &
TARGET=$!
PIDS+=($TARGET)

visible_windows() { xdotool search --onlyvisible --name '^(Dravik Task Manager|About Kestrun)$' 2>/dev/null | wc -l; }

# wait_windows N: until N of the program's windows are visible.
wait_windows() {
    for _ in $(seq 100); do [[ $(visible_windows) -ge $1 ]] && return 0; sleep 0.1; done
    return 1
}

focus() {
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    sleep 0.5
}

# open_box KIND WINDOW: opens the box and waits for it.
open_box() {
    local id=$2
    focus "$id"
    case $1 in
    about)
        xdotool key alt+h
        sleep 1
        xdotool key a
        ;;
    error)  # End Process with no process selected
        xdotool key ctrl+Tab
        sleep 1.5
        focus "$id"
        xdotool key alt+e
        ;;
    question)  # End Process on our own process, picked by typing its name
        xdotool key ctrl+Tab
        sleep 1.5
        local width height
        eval "$(xdotool getwindowgeometry --shell "$id")"
        xdotool mousemove --window "$id" $((WIDTH / 2)) $((HEIGHT / 2)) click 1
        sleep 0.5
        xdotool type --delay 80 zzkestrun
        sleep 1
        xdotool key alt+e
        ;;
    esac
    wait_windows 2
}

run_case() {
    local backend=$1 kind=$2 sig=$3
    export KESTRUN_PLATFORM=$backend XDG_CONFIG_HOME=$WORK/config-$backend-$kind-$sig
    mkdir -p "$XDG_CONFIG_HOME"
    STORE=$XDG_CONFIG_HOME/kestrun/user.db
    start_kestrun "app_${backend}_$kind"
    local pid_var="app_${backend}_${kind}_PID" log="$WORK/app_${backend}_$kind.log"
    local id
    id=$(wait_window --onlyvisible) || { cat "$log" >&2; fail "no window ($backend)"; }
    sleep 1.5
    [[ $(visible_windows) == 1 ]] || fail "a box stands in front of the window at start-up ($backend)"
    if grep -E 'Gtk-(CRITICAL|WARNING)|Gdk-CRITICAL' "$log" >&2; then fail "toolkit complaints at start-up ($backend)"; fi

    # An option changed in this session: the store must get the session's value.
    focus "$id"
    xdotool key alt+o
    sleep 1
    xdotool key h
    sleep 0.5
    open_box "$kind" "$id" || { cat "$log" >&2; fail "the $kind box did not open ($backend)"; }

    if [[ $backend == linux && $sig == TERM ]]; then
        start_kestrun "second_$backend"
        local second_var="second_${backend}_PID"
        wait_exit "${!second_var}" 20 || fail "the second copy did not end while a box was open ($backend)"
        wait "${!second_var}" || fail "the second copy ended with an error ($backend)"
        kill -0 "${!pid_var}" || fail "the first copy ended with the second ($backend)"
    fi
    [[ -f $STORE ]] && fail "options were written before the signal ($backend)"

    kill -s "$sig" "${!pid_var}"
    wait_exit "${!pid_var}" 20 || fail "SIG$sig with the $kind box open did not end the program ($backend)"
    wait "${!pid_var}" || { cat "$log" >&2; fail "the program ended with an error on SIG$sig ($backend, $kind)"; }
    expect_four_options
    [[ $(options | grep '^HideWhenMinimized=') == HideWhenMinimized=0 ]] \
        || { options >&2; fail "the session's Hide When Minimized was not written ($backend, $kind)"; }
    if [[ $kind == question ]]; then
        kill -0 "$TARGET" || fail "the End Process question was answered Yes by the shutdown ($backend)"
    fi
    [[ $(grep -c 'The taskbar notification icon cannot be added.' "$log") == 1 ]] \
        || { cat "$log" >&2; fail "no tray: the message belongs on standard error once ($backend)"; }
    if grep -E 'runtime error|AddressSanitizer' "$log" >&2; then fail "sanitizer complaints ($backend, $kind)"; fi
    echo "ok: $backend, SIG$sig with the $kind box open wrote the options"
}

for backend in sim linux; do
    run_case "$backend" about TERM
    run_case "$backend" error TERM
    run_case "$backend" question TERM
    run_case "$backend" about INT
    run_case "$backend" error HUP
done

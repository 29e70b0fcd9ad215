#!/bin/bash
# A second copy started while the first is hidden shows the first copy's window,
# brings it forward and ends without touching the stored options.
source "$(dirname "$0")/lib.sh"
start_x wm
export KESTRUN_PLATFORM=linux

start_kestrun first
id=$(wait_window --onlyvisible) || fail "no window"
sleep 1
# Minimising hides the window (Hide When Minimized is on by default).
xdotool windowminimize --sync "$id" || true
for _ in $(seq 50); do
    xdotool search --onlyvisible --name '^Dravik Task Manager$' >/dev/null 2>&1 || break
    sleep 0.1
done
xdotool search --onlyvisible --name '^Dravik Task Manager$' >/dev/null 2>&1 && fail "the first window is still visible after minimising"
[[ -f $STORE ]] && before=$(sha256sum "$STORE") || before=none

start_kestrun second
wait_exit "$second_PID" 20 || fail "the second copy did not end"
wait "$second_PID" || fail "the second copy ended with an error"
wait_window --onlyvisible >/dev/null || fail "the first copy's window was not shown again"
kill -0 "$first_PID" || fail "the first copy ended"
[[ -f $STORE ]] && after=$(sha256sum "$STORE") || after=none
[[ $before == "$after" ]] || fail "the second copy changed the stored options"
[[ $(xdotool getactivewindow 2>/dev/null) == "$id" ]] || echo "note: the window manager did not activate the first copy's window"
echo "ok: the second copy showed the first and ended"

#!/bin/bash
# With a $XDG_RUNTIME_DIR that takes no files, the first copy keeps its lock in
# the per-user folder and says so once; a second copy finds it there, shows the
# first copy's window and ends.
source "$(dirname "$0")/lib.sh"
start_x wm
export KESTRUN_PLATFORM=linux XDG_RUNTIME_DIR=/proc TMPDIR=$WORK/tmp
mkdir -p "$TMPDIR"

start_kestrun first
wait_window --onlyvisible >/dev/null || { cat "$WORK/first.log" >&2; fail "no window"; }
start_kestrun second
wait_exit "$second_PID" 20 || fail "the second copy did not end"
wait "$second_PID" || fail "the second copy ended with an error"
kill -0 "$first_PID" || fail "the first copy ended"
[[ $(xdotool search --onlyvisible --name '^Dravik Task Manager$' | wc -l) == 1 ]] || fail "more than one window"
[[ -e $TMPDIR/kestrun-$(id -u)/kestrun-Dravik%20Task%20Manager.lock ]] || fail "no lock in the per-user folder"
grep -c 'single-instance lock' "$WORK/first.log" | grep -qx 1 || { cat "$WORK/first.log" >&2; fail "the fallback was not told once"; }
grep -q "using $TMPDIR/kestrun-$(id -u) instead" "$WORK/first.log" || fail "the notice does not name the folder"
echo "ok: the lock fell back to the per-user folder and one copy runs"

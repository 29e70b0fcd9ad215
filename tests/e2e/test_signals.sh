#!/bin/bash
# SIGTERM closes the window the way File > Exit does: the options are saved.
source "$(dirname "$0")/lib.sh"
start_x
export KESTRUN_PLATFORM=sim
for sig in TERM HUP; do
    rm -f "$STORE"
    start_kestrun app
    wait_window >/dev/null || fail "no window"
    sleep 1
    kill -s "$sig" "$app_PID"
    wait_exit "$app_PID" 20 || fail "SIG$sig did not end the program"
    expect_four_options
    echo "ok: SIG$sig saved the options"
done

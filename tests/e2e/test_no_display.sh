#!/bin/bash
# A display that cannot be opened is named in one line and the program ends
# with status 1, as it does when DISPLAY is not set.
source "$(dirname "$0")/lib.sh"
export KESTRUN_PLATFORM=sim

number=99
while [[ -e /tmp/.X11-unix/X$number || -e /tmp/.X$number-lock ]]; do number=$((number + 1)); done
status=0
DISPLAY=:$number "$KESTRUN" >"$WORK/out" 2>"$WORK/err" || status=$?
[[ $status == 1 ]] || fail "status $status for an unreachable display"
[[ $(cat "$WORK/err") == "kestrun: cannot open display :$number" ]] || fail "stderr: $(cat "$WORK/err")"
echo "ok: an unreachable display is named and ends the program with status 1"

status=0
env -u DISPLAY "$KESTRUN" >"$WORK/out" 2>"$WORK/err" || status=$?
[[ $status == 1 && $(wc -l <"$WORK/err") == 1 ]] || fail "no DISPLAY: status $status, $(cat "$WORK/err")"
echo "ok: no display at all is one line and status 1"

#!/bin/bash
# Batch mode on the live machine as scripts meet it: a process whose program
# name holds a tab and a line break still prints as one row of thirteen cells;
# a full disk ends the run with one line and status 1; a reader that stops
# early (head) ends it quietly.
source "$(dirname "$0")/lib.sh"
export KESTRUN_PLATFORM=linux

odd=$'odd\tname\nhere'
mkdir -p "$WORK/bin"
cp "$(command -v sleep)" "$WORK/bin/$odd"
"$WORK/bin/$odd" 60 &
PIDS+=($!)
for _ in $(seq 50); do [[ -e /proc/${PIDS[-1]}/exe ]] && break; sleep 0.1; done

"$KESTRUN" --batch --page processes >"$WORK/rows" 2>"$WORK/err" || fail "batch mode failed: $(cat "$WORK/err")"
grep -qF 'odd\tname\nhere' "$WORK/rows" || fail "the odd name is not printed escaped"
awk -F'\t' 'NF != 13 { print NR": "NF" cells: "$0; bad = 1 } END { exit bad }' "$WORK/rows" >&2 \
    || fail "a row does not have thirteen cells"
echo "ok: control characters in a name are escaped"

status=0
"$KESTRUN" --batch --page processes >/dev/full 2>"$WORK/err" || status=$?
[[ $status == 1 ]] || fail "a full disk gave status $status"
[[ $(cat "$WORK/err") == "kestrun: write error: No space left on device" ]] || fail "message: $(cat "$WORK/err")"
echo "ok: a failed write ends the run with one line and status 1"

status=0
"$KESTRUN" --version >/dev/full 2>"$WORK/err" || status=$?
[[ $status == 1 && -s $WORK/err ]] || fail "--version on a full disk gave status $status"

set +o pipefail
"$KESTRUN" --batch --page processes --ticks 3 --interval 200 2>"$WORK/err" | head -1 >"$WORK/first"
set -o pipefail
[[ $(cut -f1 "$WORK/first") == Name ]] || fail "head did not get the header"
[[ ! -s $WORK/err ]] || fail "a closed pipe was not quiet: $(cat "$WORK/err")"
echo "ok: a closed pipe ends the run quietly"

#!/bin/bash
# A damaged options store (garbage, a folder) is kept aside under a new name,
# the program starts with the defaults, and at exit it writes a fresh store and
# says on stderr where the old one went.
source "$(dirname "$0")/lib.sh"
start_x
export KESTRUN_PLATFORM=sim
mkdir -p "$(dirname "$STORE")"

for damage in garbage folder; do
    rm -rf "$STORE" "$STORE".damaged*
    if [[ $damage == garbage ]]; then printf 'not a store at all\n\x00\x01' >"$STORE"; else mkdir "$STORE"; touch "$STORE/inside"; fi
    before=$( [[ -f $STORE ]] && sha256sum <"$STORE" || echo folder)
    start_kestrun app
    wait_window >/dev/null || fail "no window ($damage)"
    sleep 1
    kill -TERM "$app_PID"
    wait_exit "$app_PID" 20 || fail "SIGTERM did not end the program ($damage)"
    expect_four_options
    [[ -e $STORE.damaged ]] || fail "the damaged store was not kept ($damage)"
    after=$( [[ -f $STORE.damaged ]] && sha256sum <"$STORE.damaged" || echo folder)
    [[ $before == "$after" ]] || fail "the kept store is not the old one ($damage)"
    grep -q "kept as $STORE.damaged" "$WORK/app.log" || { cat "$WORK/app.log" >&2; fail "stderr does not say where it went ($damage)"; }
    echo "ok: a store damaged by $damage was kept aside and a fresh one written"
done

#!/bin/bash
# Help on a desktop where nothing shows HTML pages: the opener is not started
# (it would fail on its own, after the fact), and the tab's description box
# appears instead.
source "$(dirname "$0")/lib.sh"
start_x wm
export KESTRUN_PLATFORM=linux

mkdir -p "$WORK/bin"
printf '#!/bin/sh\ntouch %q\n' "$WORK/opener-started" >"$WORK/bin/xdg-open"
printf '#!/bin/sh\necho "No default applications for \\"text/html\\""\n' >"$WORK/bin/gio"
printf '#!/bin/sh\nexit 0\n' >"$WORK/bin/xdg-mime"
chmod +x "$WORK/bin/"*
env -u BROWSER PATH="$WORK/bin" "$KESTRUN" >"$WORK/app.log" 2>&1 &
app_PID=$!
PIDS+=($app_PID)
id=$(wait_window --onlyvisible) || { cat "$WORK/app.log" >&2; fail "no window"; }
sleep 1
boxes=0
for attempt in 1 2 3; do
    xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id" 2>/dev/null || true
    sleep 0.5
    xdotool key F1
    for _ in $(seq 30); do
        boxes=$(xdotool search --onlyvisible --name '^Dravik Task Manager$' 2>/dev/null | wc -l)
        [[ $boxes -ge 2 ]] && break 2
        sleep 0.2
    done
done
[[ $boxes -ge 2 ]] || { cat "$WORK/app.log" >&2; fail "no description box after F1"; }
[[ ! -e $WORK/opener-started ]] || fail "the opener was started though nothing shows HTML"
echo "ok: without a browser, help shows the tab's description"

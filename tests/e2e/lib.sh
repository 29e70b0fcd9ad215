# Shared helpers of the end-to-end tests: a private X server, a private
# configuration and runtime directory, and waiting for windows.
set -euo pipefail

KESTRUN=${1:?usage: $0 PATH-TO-KESTRUN}
WORK=$(mktemp -d /tmp/kestrun-e2e.XXXXXX)
export XDG_CONFIG_HOME=$WORK/config XDG_RUNTIME_DIR=$WORK/run
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export NO_AT_BRIDGE=1 GDK_BACKEND=x11
STORE=$XDG_CONFIG_HOME/kestrun/user.db
PIDS=()

# A process of ours that has ended and been reaped may have left its id to
# another process since (ids wrap at 32768 while the suite runs), such as another
# test's X server: only a process that is still our child is ours to end.
still_ours() { [[ $(ps -o ppid= -p "$1" 2>/dev/null | tr -d ' ') == "$$" ]]; }

cleanup() {
    for pid in "${PIDS[@]}"; do still_ours "$pid" && { kill "$pid" 2>/dev/null || true; }; done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# start_x [wm|bare]: a private X server with a notification area (trayer), and
# openbox when asked, on a free display; bare: neither (as GNOME and most
# Wayland desktops look to an X11 program).
start_x() {
    exec 5< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp -noreset 2>/dev/null)
    read -r -t 20 display <&5 || fail "Xvfb did not start"
    PIDS+=($!)
    export DISPLAY=:$display
    if [[ ${1:-} == wm ]]; then
        openbox --sm-disable >/dev/null 2>&1 &
        PIDS+=($!)
        for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
    fi
    [[ ${1:-} == bare ]] && return 0
    trayer --edge top --align right --widthtype pixel --width 64 --heighttype pixel --height 24 >/dev/null 2>&1 &
    PIDS+=($!)
    for _ in $(seq 100); do xdotool search --class trayer >/dev/null 2>&1 && break; sleep 0.1; done
}

# start_kestrun NAME: starts the program in the background; its pid in NAME_PID.
start_kestrun() {
    "$KESTRUN" >"$WORK/$1.log" 2>&1 &
    local pid=$!
    PIDS+=($pid)
    printf -v "$1_PID" '%s' "$pid"
}

# wait_window [--onlyvisible]: prints the id of the window titled like the program.
wait_window() {
    local id
    for _ in $(seq 300); do
        id=$(xdotool search "$@" --name '^Dravik Task Manager$' 2>/dev/null | head -1) || true
        [[ -n $id ]] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# wait_exit PID SECONDS: true when the process ended in time.
wait_exit() {
    for _ in $(seq $(($2 * 10))); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    return 1
}

# options: prints NAME=VALUE for each stored option.
options() {
    [[ -f $STORE ]] || return 0
    /usr/bin/python3 - "$STORE" <<'PY'
import sqlite3, sys, struct
db = sqlite3.connect(f"file:{sys.argv[1]}?mode=ro", uri=True)
for name, kind, data in db.execute("SELECT name, type, data FROM vals ORDER BY name"):
    if isinstance(data, bytes) and len(data) == 4:
        data = struct.unpack("<I", data)[0]
    print(f"{name}={data}" if kind == 4 else f"{name}=<type {kind}>")
PY
}

expect_four_options() {
    local got
    got=$(options | grep -cE '^(AlwaysOnTop|HideWhenMinimized|MinimizeAfterProgramSwitch|AutoScale)=[01]$' || true)
    [[ $got == 4 ]] || { options >&2; fail "expected the four options in $STORE"; }
}

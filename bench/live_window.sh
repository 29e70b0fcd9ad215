#!/bin/bash
# The window's own refresh cost on the live machine: the program with its
# Processes tab shown on a private X server (openbox and trayer as on a small
# desktop), 1,000 extra sleeping processes, CPU milliseconds per 2 s refresh
# read from each tool's /proc/PID/stat over 30 s, beside top -b -d 2, htop -d 20
# and the floor (a bare read of every /proc/PID/stat per refresh) in the same
# run; then the window's resident memory, and whether the GL stack is in it.
#
# Usage: bench/live_window.sh [path/to/kestrun]   (a Release build measures fairly)
# htop is measured when it is installed (apt-get install htop), skipped otherwise.
set -u
KESTRUN=${1:-$(dirname "$0")/../build-release/kestrun}
EXTRA=${EXTRA:-1000}
INTERVAL=2     # seconds between refreshes, for every tool
SECONDS_MEASURED=${SECONDS_MEASURED:-30}
HZ=$(getconf CLK_TCK)
WORK=$(mktemp -d)
export XDG_CONFIG_HOME=$WORK/config XDG_RUNTIME_DIR=$WORK/run NO_AT_BRIDGE=1 GDK_BACKEND=x11
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

sleepers=()
helpers=()
cleanup() {
    for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null; done
    # Exactly the sleepers this script started, nothing else.
    for pid in "${sleepers[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

cpu_ticks() {
    local line
    line=$(cat "/proc/$1/stat" 2>/dev/null) || { echo -1; return; }
    line=${line##*) }
    set -- $line
    echo $(( ${12} + ${13} ))
}
status_kb() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status" 2>/dev/null; }

c++ -O2 -o "$WORK/floor" "$(dirname "$0")/stat_floor.cpp" || exit 1

# A private display with a window manager and a notification area.
exec 5< <(Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null)
read -r -t 20 display <&5 || { echo "Xvfb did not start"; exit 1; }
helpers+=($!)
export DISPLAY=:$display
if command -v openbox > /dev/null; then openbox --sm-disable > /dev/null 2>&1 & helpers+=($!); fi
if command -v trayer > /dev/null; then
    trayer --edge top --align right --widthtype pixel --width 64 --heighttype pixel --height 24 > /dev/null 2>&1 &
    helpers+=($!)
fi
sleep 1

echo "starting $EXTRA sleeping processes"
for _ in $(seq "$EXTRA"); do
    sleep 3600 &
    sleepers+=($!)
done
sleep 1

KESTRUN_PLATFORM=linux "$KESTRUN" > "$WORK/kestrun.log" 2>&1 &
kestrun_pid=$!; helpers+=($kestrun_pid)
window=
for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --pid "$kestrun_pid" 2>/dev/null | head -1)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -z "$window" ] && { echo "the window did not open"; cat "$WORK/kestrun.log"; exit 1; }
sleep 2
# The Processes tab is the second: Ctrl+Tab from Applications (TABS=0 keeps
# Applications, to tell the window's fixed cost per tick from the page's).
xdotool windowactivate --sync "$window" > /dev/null 2>&1 || xdotool windowfocus --sync "$window" > /dev/null 2>&1
sleep 1
for _ in $(seq "${TABS:-1}"); do xdotool key ctrl+Tab; sleep 1; done
sleep 1

passes=$(( SECONDS_MEASURED / INTERVAL + 4 ))
top -b -d "$INTERVAL" -n "$passes" -w 512 > /dev/null &
top_pid=$!; helpers+=($top_pid)
htop_pid=
if command -v htop > /dev/null; then
    # A terminal of its own and a keyboard that never types (a key would force a redraw).
    mkfifo "$WORK/keys"
    sleep 3600 > "$WORK/keys" &
    helpers+=($!)
    TERM=xterm script -qfc "htop -d $((INTERVAL * 10))" /dev/null > /dev/null 2>&1 < "$WORK/keys" &
    helpers+=($!)
    sleep 0.5
    htop_pid=$(pgrep -n -x htop)
else
    echo "htop is not installed: measured without it"
fi
"$WORK/floor" "$passes" "$INTERVAL" &
floor_pid=$!; helpers+=($floor_pid)

sleep 3
processes=$(ls -d /proc/[0-9]* | wc -l)
declare -A first
for name in kestrun top htop floor; do
    pid_var=${name}_pid; pid=${!pid_var}
    [ -n "$pid" ] && first[$name]=$(cpu_ticks "$pid")
done
sleep "$SECONDS_MEASURED"
refreshes=$(( SECONDS_MEASURED / INTERVAL ))
echo "processes: $processes; $refreshes refreshes of ${INTERVAL} s"
printf '%-8s %14s\n' tool "CPU ms/refresh"
for name in kestrun top htop floor; do
    pid_var=${name}_pid; pid=${!pid_var}
    [ -z "$pid" ] && continue
    last=$(cpu_ticks "$pid")
    if [ "$last" -lt 0 ] || [ "${first[$name]}" -lt 0 ]; then echo "$name: ended early"; continue; fi
    awk -v t=$(( last - ${first[$name]} )) -v hz="$HZ" -v n="$refreshes" -v name="$name" \
        'BEGIN { printf "%-8s %14.2f\n", name, t * 1000 / hz / n }'
done

rss=$(status_kb "$kestrun_pid" VmRSS)
anon=$(status_kb "$kestrun_pid" RssAnon)
file=$(status_kb "$kestrun_pid" RssFile)
printf 'kestrun resident: %s kB (anonymous %s kB, file %s kB)\n' "$rss" "$anon" "$file"
gl=$(grep -E 'libLLVM|_dri\.so|libGLX_mesa|libGL\.so' "/proc/$kestrun_pid/maps" | awk '{print $6}' | sort -u | xargs -r -n1 basename | tr '\n' ' ')
echo "GL stack in the window: ${gl:-none}"

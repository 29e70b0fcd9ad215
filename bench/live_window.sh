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
WORK=$(mktemp -d)
export XDG_CONFIG_HOME=$WORK/config XDG_RUNTIME_DIR=$WORK/run NO_AT_BRIDGE=1 GDK_BACKEND=x11
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

. "$(dirname "$0")/live_common.sh"
status_kb() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status" 2>/dev/null; }

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

start_sleepers "$EXTRA"

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
start_comparisons "$passes"

sleep 3
processes=$(ls -d /proc/[0-9]* | wc -l)
sample_first
sleep "$SECONDS_MEASURED"
refreshes=$(( SECONDS_MEASURED / INTERVAL ))
echo "processes: $processes; $refreshes refreshes of ${INTERVAL} s"
report_cpu "$refreshes"

rss=$(status_kb "$kestrun_pid" VmRSS)
anon=$(status_kb "$kestrun_pid" RssAnon)
file=$(status_kb "$kestrun_pid" RssFile)
printf 'kestrun resident: %s kB (anonymous %s kB, file %s kB)\n' "$rss" "$anon" "$file"
gl=$(grep -E 'libLLVM|_dri\.so|libGLX_mesa|libGL\.so' "/proc/$kestrun_pid/maps" | awk '{print $6}' | sort -u | xargs -r -n1 basename | tr '\n' ' ')
echo "GL stack in the window: ${gl:-none}"

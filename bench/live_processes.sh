#!/bin/bash
# Live refresh cost of the Processes page beside top and htop, over the same
# minute, with 1,000 extra sleeping processes: CPU milliseconds per refresh, read
# from each tool's /proc/PID/stat, and the floor (a bare read of every
# /proc/PID/stat per refresh).
#
# Usage: bench/live_processes.sh [path/to/kestrun]   (a Release build measures fairly)
set -u
KESTRUN=${1:-$(dirname "$0")/../build/kestrun}
EXTRA=${EXTRA:-1000}
INTERVAL=2         # seconds between refreshes, for every tool
TICKS=31           # about one minute
HZ=$(getconf CLK_TCK)
WORK=$(mktemp -d)

sleepers=()
helpers=()
cleanup() {
    for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null; done
    [ -n "${htop_pid:-}" ] && kill "$htop_pid" 2>/dev/null
    # Exactly the sleepers this script started, nothing else.
    for pid in "${sleepers[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

# CPU ticks (utime + stime) of one process; the name may hold blanks, so cut after the last ')'.
cpu_ticks() {
    local line
    line=$(cat "/proc/$1/stat" 2>/dev/null) || { echo -1; return; }
    line=${line##*) }
    set -- $line
    echo $(( ${12} + ${13} ))
}

# The floor: one pass reads every /proc/PID/stat, nothing more.
c++ -O2 -o "$WORK/floor" "$(dirname "$0")/stat_floor.cpp" || exit 1

echo "starting $EXTRA sleeping processes"
for _ in $(seq "$EXTRA"); do
    sleep 3600 &
    sleepers+=($!)
done
sleep 1
echo "processes now: $(ls -d /proc/[0-9]* | wc -l)"

KESTRUN_PLATFORM=linux "$KESTRUN" --batch --page processes --ticks "$TICKS" --interval $((INTERVAL * 1000)) > /dev/null &
kestrun_pid=$!; helpers+=($kestrun_pid)
top -b -d "$INTERVAL" -n "$TICKS" -w 512 > /dev/null &
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
fi
"$WORK/floor" "$TICKS" "$INTERVAL" &
floor_pid=$!; helpers+=($floor_pid)

# Sample after the first refresh of each tool and just before its last one: the
# refreshes in between are steady-state ones.
sleep 1
declare -A first
for name in kestrun top htop floor; do
    pid_var=${name}_pid; pid=${!pid_var}
    [ -n "$pid" ] && first[$name]=$(cpu_ticks "$pid")
done
sleep $(( (TICKS - 1) * INTERVAL - 2 ))
refreshes=$(( TICKS - 2 ))
printf '%-8s %14s\n' tool "CPU ms/refresh"
for name in kestrun top htop floor; do
    pid_var=${name}_pid; pid=${!pid_var}
    [ -z "$pid" ] && continue
    last=$(cpu_ticks "$pid")
    if [ "$last" -lt 0 ] || [ "${first[$name]}" -lt 0 ]; then echo "$name: ended early"; continue; fi
    awk -v t=$(( last - ${first[$name]} )) -v hz="$HZ" -v n="$refreshes" -v name="$name" \
        'BEGIN { printf "%-8s %14.2f\n", name, t * 1000 / hz / n }'
done

# The page's own refresh, without batch printing, over the same processes (run
# after the others so as not to disturb them).
BENCH=${BENCH:-$(dirname "$KESTRUN")/bench/bench_processes}
if [ -x "$BENCH" ]; then
    "$BENCH" --benchmark_filter=Live 2>/dev/null |
        awk '/ProcessesRefreshLive.*CPU ms per refresh/ { printf "%-8s %14.2f   (the page refresh alone, no printing)\n", "page", $2 }'
fi

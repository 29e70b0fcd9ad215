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
WORK=$(mktemp -d)

. "$(dirname "$0")/live_common.sh"

start_sleepers "$EXTRA"
echo "processes now: $(ls -d /proc/[0-9]* | wc -l)"

KESTRUN_PLATFORM=linux "$KESTRUN" --batch --page processes --ticks "$TICKS" --interval $((INTERVAL * 1000)) > /dev/null &
kestrun_pid=$!; helpers+=($kestrun_pid)
start_comparisons "$TICKS"

# Sample after the first refresh of each tool and just before its last one: the
# refreshes in between are steady-state ones.
sleep 1
sample_first
sleep $(( (TICKS - 1) * INTERVAL - 2 ))
refreshes=$(( TICKS - 2 ))
report_cpu "$refreshes"

# The page's own refresh, without batch printing, over the same processes (run
# after the others so as not to disturb them).
BENCH=${BENCH:-$(dirname "$KESTRUN")/bench/bench_processes}
if [ -x "$BENCH" ]; then
    "$BENCH" --benchmark_filter=Live 2>/dev/null |
        awk '/ProcessesRefreshLive.*CPU ms per refresh/ { printf "%-8s %14.2f   (the page refresh alone, no printing)\n", "page", $2 }'
fi

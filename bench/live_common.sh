# What the live benchmarks share: 1,000 extra sleeping processes, top, htop and
# the floor (a bare read of every /proc/PID/stat per refresh) run beside the
# tool measured, and CPU milliseconds per refresh read from each one's
# /proc/PID/stat. Sourced by bench/live_*.sh after they set INTERVAL and WORK;
# the measured tool's pid goes in kestrun_pid.

HZ=$(getconf CLK_TCK)
sleepers=()
helpers=()
top_pid=
htop_pid=
floor_pid=
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
c++ -O2 -o "$WORK/floor" "$(dirname "${BASH_SOURCE[0]}")/stat_floor.cpp" || exit 1

start_sleepers() {
    echo "starting $1 sleeping processes"
    for _ in $(seq "$1"); do
        sleep 3600 &
        sleepers+=($!)
    done
    sleep 1
}

# top, htop (when installed) and the floor, each refreshing every INTERVAL seconds, PASSES times.
start_comparisons() {
    local passes=$1
    top -b -d "$INTERVAL" -n "$passes" -w 512 > /dev/null &
    top_pid=$!; helpers+=($top_pid)
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
}

# Each tool's CPU ticks now, to measure from.
declare -A first_ticks
sample_first() {
    local name pid_var pid
    for name in kestrun top htop floor; do
        pid_var=${name}_pid; pid=${!pid_var}
        [ -n "$pid" ] && first_ticks[$name]=$(cpu_ticks "$pid")
    done
}

# CPU milliseconds per refresh of each tool since sample_first, over REFRESHES refreshes.
report_cpu() {
    local refreshes=$1 name pid_var pid last
    printf '%-8s %14s\n' tool "CPU ms/refresh"
    for name in kestrun top htop floor; do
        pid_var=${name}_pid; pid=${!pid_var}
        [ -z "$pid" ] && continue
        last=$(cpu_ticks "$pid")
        if [ "$last" -lt 0 ] || [ "${first_ticks[$name]}" -lt 0 ]; then echo "$name: ended early"; continue; fi
        awk -v t=$(( last - ${first_ticks[$name]} )) -v hz="$HZ" -v n="$refreshes" -v name="$name" \
            'BEGIN { printf "%-8s %14.2f\n", name, t * 1000 / hz / n }'
    done
}

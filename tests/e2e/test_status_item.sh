#!/bin/bash
# The program on a desktop whose panel shows StatusNotifierItems: a private
# session bus with a stand-in watcher, bare X otherwise. The item registers,
# panels read the load icon in every size with the tooltip, title and category,
# a click (Activate) hides and restores the window, and a panel that restarts
# gets the item again. No message about a missing icon is printed.
source "$(dirname "$0")/lib.sh"
start_x bare
template=${KESTRUN_SOURCE_DIR:?}/tests/fixtures/dbus/status_notifier_watcher.py

dbus-daemon --session --nofork --nopidfile --address="unix:path=$WORK/bus" 2>/dev/null &
PIDS+=($!)
export DBUS_SESSION_BUS_ADDRESS=unix:path=$WORK/bus
# The socket is there from its bind, a moment before the daemon listens: wait for an answer.
for _ in $(seq 100); do
    gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus -m org.freedesktop.DBus.GetId \
        >/dev/null 2>&1 && break
    sleep 0.1
done

start_watcher() {
    /usr/bin/python3 -m dbusmock --session -t "$template" -l "$WORK/watcher.log" &
    WATCHER=$!
    PIDS+=($WATCHER)
    for _ in $(seq 100); do
        gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus -m org.freedesktop.DBus.NameHasOwner \
            org.kde.StatusNotifierWatcher 2>/dev/null | grep -q true && return 0
        sleep 0.1
    done
    fail "the stand-in watcher did not come up"
}

# What a panel reads and does, through dbus-python (python3-dbusmock brings it).
panel() {
    /usr/bin/python3 - "$@" <<'PY'
import sys, dbus
bus = dbus.SessionBus()
what = sys.argv[1]
watcher = bus.get_object('org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher')
items = watcher.Get('org.kde.StatusNotifierWatcher', 'RegisteredStatusNotifierItems',
                    dbus_interface='org.freedesktop.DBus.Properties')
if what == 'items':
    print(' '.join(items))
    sys.exit(0)
name, path = items[0].split('/', 1)
item = bus.get_object(name, '/' + path)
props = dbus.Interface(item, 'org.freedesktop.DBus.Properties')
if what == 'props':
    get = lambda p: props.Get('org.kde.StatusNotifierItem', p)
    sizes = [f"{int(w)}x{int(h)}:{len(data)}" for w, h, data in get('IconPixmap')]
    tip = get('ToolTip')
    print(f"title={get('Title')} category={get('Category')} menu={bool(get('ItemIsMenu'))}")
    print(f"tooltip={tip[2]}")
    print("sizes=" + ' '.join(sizes))
elif what == 'activate':
    item.Activate(0, 0, dbus_interface='org.kde.StatusNotifierItem')
PY
}

shown() { xdotool search --onlyvisible --name '^Dravik Task Manager$' >/dev/null 2>&1; }

wait_for() {  # wait_for COMMAND...: up to ten seconds
    for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done
    return 1
}
registered() { [[ -n $(panel items 2>/dev/null) ]]; }

for backend in sim linux; do
    export KESTRUN_PLATFORM=$backend XDG_CONFIG_HOME=$WORK/config-$backend
    STORE=$XDG_CONFIG_HOME/kestrun/user.db
    start_watcher
    start_kestrun "app_$backend"
    pid_var="app_${backend}_PID"
    log=$WORK/app_$backend.log
    wait_window --onlyvisible >/dev/null || { cat "$log" >&2; fail "no window ($backend)"; }
    wait_for registered || { cat "$log" "$WORK/watcher.log" >&2; fail "the item did not register ($backend)"; }
    [[ $(panel items) == "org.kde.StatusNotifierItem-${!pid_var}-1/StatusNotifierItem" ]] \
        || fail "registered as $(panel items) ($backend)"

    props=$(panel props)
    grep -qx 'title=Dravik Task Manager category=SystemServices menu=False' <<<"$props" || fail "item properties: $props"
    grep -Eqx 'tooltip=(Dravik Task Manager|CPU Load: [0-9]+%)' <<<"$props" || fail "tooltip: $props"
    grep -qx 'sizes=16x16:1024 22x22:1936 24x24:2304 32x32:4096 48x48:9216 64x64:16384' <<<"$props" \
        || fail "icon sizes: $props"

    panel activate
    wait_for bash -c '! xdotool search --onlyvisible --name "^Dravik Task Manager$" >/dev/null 2>&1' \
        || fail "Activate did not hide the window ($backend)"
    panel activate
    wait_for shown || fail "Activate did not restore the window ($backend)"

    # The panel restarts: the item is offered to the new watcher.
    kill "$WATCHER"
    wait "$WATCHER" 2>/dev/null || true
    sleep 1
    kill -0 "${!pid_var}" || fail "the program ended with the watcher ($backend)"
    start_watcher
    wait_for registered || fail "the item did not register with the new watcher ($backend)"
    panel activate
    wait_for bash -c '! xdotool search --onlyvisible --name "^Dravik Task Manager$" >/dev/null 2>&1' \
        || fail "Activate through the new watcher did not hide the window ($backend)"

    kill -TERM "${!pid_var}"
    wait_exit "${!pid_var}" 20 || fail "SIGTERM did not end the program ($backend)"
    expect_four_options
    grep -q 'cannot be added' "$log" && fail "a panel shows the icon, yet the program says it cannot ($backend)"
    kill "$WATCHER"
    wait "$WATCHER" 2>/dev/null || true
    echo "ok: $backend registered, answered the panel and registered again after a restart"
done

#!/bin/bash
# Batch mode on a simulated device with a manual clock, as a script or a bug
# report meets it: two runs of one profile print the same bytes, boxes and all;
# a thousand ticks do not wait for real time; a profile whose timeline is wrong
# stops the start-up with one line naming the event and the field.
source "$(dirname "$0")/lib.sh"

cat >"$WORK/device.json" <<'JSON'
// A device whose figures move on every tick.
{
  "name": "Reproducible device",
  "clock": "manual",
  "processors": 2,
  "loadVariation": true,
  "heapChurn": true,
  "traffic": true,
  "modules": [ { "name": "coredll.dll", "rom": true } ],
  "processes": [
    { "exe": "nk.exe", "rom": true, "threads": [ { "load": 3, "kernelShare": 100 } ] },
    { "exe": "logger.exe", "threads": [ { "load": 35 }, { "load": 10, "count": 2 } ],
      "heaps": [ { "blocks": [ { "size": "4K", "repeat": 5 } ] } ], "modules": [ "coredll.dll" ],
      "windows": [ { "title": "Logger" } ] }
  ],
  "services": [ { "prefix": "HTP", "dll": "httpd.dll", "state": 1 } ],
  "interfaces": [ { "index": 1, "adapter": "LOOPBACK", "type": 24, "status": 5 },
                  { "index": 2, "adapter": "NE20001", "type": 6, "speed": 10000000, "status": 5, "inRate": 9000 } ],
  "failures": [ { "call": "processSnapshot", "error": "EACCES", "after": 20 } ],
  "events": [
    { "tick": 5, "event": "startProcess", "process": { "exe": "backup.exe", "threads": [ { "load": 60 } ] } },
    { "tick": 9, "event": "setServiceState", "prefix": "HTP0:", "state": 0 },
    { "tick": 12, "event": "endProcess", "exe": "logger.exe" },
    { "tick": 30, "event": "endProcess", "exe": "logger.exe" }
  ]
}
JSON
export KESTRUN_PLATFORM=sim:$WORK/device.json

for run in 1 2; do
    "$KESTRUN" --batch --page processes --ticks 40 --interval 500 --stats >"$WORK/out$run" 2>"$WORK/err$run" \
        || fail "run $run failed: $(cat "$WORK/err$run")"
done
cmp -s "$WORK/out1" "$WORK/out2" || fail "two runs printed different rows: $(diff "$WORK/out1" "$WORK/out2" | head -5)"
cmp -s "$WORK/err1" "$WORK/err2" || fail "two runs said different things on stderr"
grep -q $'^backup.exe\t' "$WORK/out1" || fail "the process started by the timeline is not listed"
[[ $(grep -c '^Stats: ' "$WORK/out1") == 40 ]] || fail "not one stats line per tick"
expected="kestrun: Dravik Task Manager: The process list snapshot cannot be created. Error: 13 (Permission denied)
kestrun: $WORK/device.json: events[3] (tick 30, endProcess): no process \"logger.exe\" is running"
[[ $(cat "$WORK/err1") == "$expected" ]] || fail "stderr: $(cat "$WORK/err1")"
echo "ok: two runs of one profile print the same bytes, the box and the skipped event on stderr"

status=0
timeout 60 "$KESTRUN" --batch --page network --ticks 1000 --interval 2000 >"$WORK/long" 2>"$WORK/err" || status=$?
[[ $status == 0 ]] || fail "a thousand ticks of two seconds: status $status (124: it waited for real time)"
[[ $(grep -c '^Name' "$WORK/long") == 1000 ]] || fail "not a thousand ticks"
echo "ok: a thousand ticks do not wait for real time"

sed 's/"exe": "logger.exe" },$/"exe": "loger.exe" },/' "$WORK/device.json" >"$WORK/typo.json"
status=0
KESTRUN_PLATFORM=sim:$WORK/typo.json "$KESTRUN" --batch >"$WORK/out" 2>"$WORK/err" || status=$?
[[ $status == 1 ]] || fail "a misspelt process in an event gave status $status"
[[ $(cat "$WORK/err") == "kestrun: $WORK/typo.json: events[2].exe: no process \"loger.exe\" in the profile or started by an earlier event" ]] \
    || fail "message: $(cat "$WORK/err")"
[[ ! -s $WORK/out ]] || fail "rows were printed from a profile that was refused"
echo "ok: a wrong event stops the start-up with one line naming the event and its field"

#!/usr/bin/env bash
# Crash safety of a recording: kill -9 of hubmonitor while it records from
# hubsim, then check that every complete record of the file replays and that
# its state records are exactly the changes of what the simulated hub sent, up
# to the last records read before the kill.
#   bench/crash_safety.sh [SECONDS]   (default 8)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${HUB_BUILD_DIR:-$here/build/default}"
secs="${1:-8}"
work="$(mktemp -d)"
sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

HUBSIM_DIR="$work/sim" "$bin/tools/hubsim/hubsim" --link hub --event-every 2 --log "$work/sim.log" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
link="$(head -n1 "$work/sim.out")"
cd "$work"
QT_QPA_PLATFORM=offscreen "$bin/monitor/hubmonitor" --port "$link" --record crash 2>/dev/null &
mon=$!
sleep "$secs"
kill -9 "$mon"
wait "$mon" 2>/dev/null || true
sleep 0.2
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""

"$bin/tools/hubdat/hubdat" info crash__PORT-hub.dat 2>/dev/null
"$bin/tools/hubdat/hubdat" replay crash__PORT-hub.dat 2>/dev/null | head -3
python3 - crash__PORT-hub.dat sim.log <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
i, states, settings, ends = 0, [], 0, 0
while i < len(data):
    t = data[i]
    size = {100: 9, 2: 21}.get(t)
    if t == 1 and i + 9 < len(data):
        size = 10 + (9 if data[i + 9] & 0x40 else 70)
    if size is None or i + size > len(data):
        sys.exit("FAIL: record cut short or unknown at offset %d" % i)
    if t == 2: states.append(data[i + 9:i + 21])
    if t == 1: settings += 1
    if t == 100: ends += 1
    i += size
sent = [bytes.fromhex(l[2:].strip()) for l in open(sys.argv[2]) if l.startswith('R ')]
def changes(n):
    out, last = [], bytes(12)
    for s in sent[:n]:
        if s != last: out.append(s)
        last = s
    return out
best = max((n for n in range(len(sent) + 1) if changes(n) == states), default=None)
if best is None:
    sys.exit("FAIL: the states are not the changes of what was sent")
print("file: %d bytes, %d settings, %d state records, %d start/end, every record whole"
      % (len(data), settings, len(states), ends))
print("state records = changes of the first %d of %d records sent (%d sent after them, "
      "in flight or not yet read when killed)" % (best, len(sent), len(sent) - best))
print("OK" if ends == 1 else "FAIL: expected only the start record")
PY

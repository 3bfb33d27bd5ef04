#!/usr/bin/env bash
# CPU of a live acquisition: hubmonitor records from hubsim at the full line
# rate (4800 baud) for SECONDS (default 60); prints the CPU hubmonitor used
# (user + sys, % of one core) over that span, the largest input backlog
# (LBuffer) and checks the recording ends with its end record.
#   bench/link_cpu.sh [SECONDS] [CHURN]   (build first: cmake --build --preset default)
# Besides a random change in one of 5 records, every CHURN-th record (default
# 16) changes all 12 bytes, so every barrier's LEDs and heads are repainted;
# CHURN 0 gives the random changes alone; EVENT_EVERY (default 5) sets how
# often those come (EVENT_EVERY=100000000 with CHURN 0: records that never
# change, the link's floor without any monitor repaint).
# QT_QPA_PLATFORM defaults to offscreen; set it (or run under xvfb-run with
# QT_QPA_PLATFORM=xcb) to include a real window system. HUBMONITOR names
# another hubmonitor to measure (another build), against the same hubsim.
# UPLINK=1 also runs the site's uplink, to a private Mosquitto on a free
# loopback port started for the run (its subscriber-less broker confirms
# every event; in-flight limit as packaging/mosquitto/zembra-hub.conf sets
# it), so the two runs show what the uplink costs.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${HUB_BUILD_DIR:-$here/build/default}"
secs="${1:-60}"
churn="${2:-16}"
work="$(mktemp -d)"
sim_pid=""; mon_pid=""; broker_pid=""
cleanup() {
    [ -n "$mon_pid" ] && kill "$mon_pid" 2>/dev/null || true
    [ -n "$broker_pid" ] && kill "$broker_pid" 2>/dev/null || true
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

HUBSIM_DIR="$work/sim" "$bin/tools/hubsim/hubsim" --link hub --event-every "${EVENT_EVERY:-5}" --churn-every "$churn" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
link="$(head -n1 "$work/sim.out")"

uplink=()
if [ "${UPLINK:-0}" = 1 ]; then
    . "$here/scripts/private-broker.sh"
    start_private_broker "$work" "max_inflight_messages 1000"
    uplink=(--uplink "mqtt://127.0.0.1:$broker_port/Bench")
fi

cd "$work"
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" HUBMONITOR_LINK_STATS=1 \
    "${HUBMONITOR:-$bin/monitor/hubmonitor}" --port "$link" --record bench "${uplink[@]}" 2>"$work/mon.err" &
mon_pid=$!

ticks() { awk '{print $14, $15}' "/proc/$mon_pid/stat"; }
hz=$(getconf CLK_TCK)
sleep 3 # start-up and the first connect are not the steady state
# Per thread, the scheduler's own run time (ns), finer than the ticks above.
threads() { for t in /proc/$mon_pid/task/*; do echo "$(cat "$t/comm") $(awk '{print $1}' "$t/schedstat")"; done; }
threads >"$work/threads0"
read -r u0 k0 < <(ticks); s0=$(date +%s.%N)
sleep "$secs"
read -r u1 k1 < <(ticks); s1=$(date +%s.%N)
threads >"$work/threads1"
kill -TERM "$mon_pid"
wait "$mon_pid" || true
mon_pid=""

python3 - "$u0" "$k0" "$u1" "$k1" "$s0" "$s1" "$hz" <<'PY'
import sys
u0, k0, u1, k1, s0, s1, hz = (float(x) for x in sys.argv[1:])
t = (u1 - u0) + (k1 - k0)
print("hubmonitor CPU over %.1f s: %.2f %% of one core (user+sys, %d ticks at %d Hz: user %d, sys %d)"
      % (s1 - s0, 100.0 * t / hz / (s1 - s0), t, hz, u1 - u0, k1 - k0))
PY
paste "$work/threads0" "$work/threads1" | awk -v s="$secs" '$4 > $2 { printf "  thread %s: %.3f %% of one core\n", $1, ($4 - $2) / 1e7 / s }'
grep "largest backlog" "$work/mon.err" || true
"$bin/tools/hubdat/hubdat" info "$work/bench__PORT-hub.dat" 2>/dev/null | grep -E "records|end record"

#!/usr/bin/env bash
# The replay player end to end: hubmonitor --replay on a recording of RECORDS
# state records (default 1,000,000; 8 records a second, every one a change;
# made by bench_replay under /tmp and kept), the time from opening the player
# to its first display (cursor at the end), then the CPU of playing it at x1
# and at x64 for SECONDS each (default 30), as % of one core from
# /proc/PID/stat (user + sys) over that span.
#   bench/player_cpu.sh [RECORDS] [SECONDS]   (build first, with -DHUB_BUILD_BENCH=ON for bench_replay)
# QT_QPA_PLATFORM defaults to offscreen; run under xvfb-run with
# QT_QPA_PLATFORM=xcb to include a real window system.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${HUB_BUILD_DIR:-$here/build/default}"
records="${1:-1000000}"
secs="${2:-30}"
rec="/tmp/hub_bench_$records.dat" # bench_replay's name: made once, kept
[ -s "$rec" ] || "$bin/bench/bench_replay" --records "$records" --dir /tmp --repeat 1 >/dev/null 2>&1 || true
[ -s "$rec" ] || { echo "no recording $rec" >&2; exit 1; }
hz=$(getconf CLK_TCK)
mon_pid=""
cleanup() { [ -n "$mon_pid" ] && kill "$mon_pid" 2>/dev/null || true; }
trap cleanup EXIT

for speed in 1 64; do
    out="$(mktemp)"
    QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" HUBMONITOR_REPLAY_PROBE=1 HUBMONITOR_REPLAY_SPEED=$speed \
        "$bin/monitor/hubmonitor" --replay "$rec" >"$out" 2>&1 &
    mon_pid=$!
    for _ in $(seq 600); do grep -q "player ready" "$out" && break; sleep 0.1; done
    grep "player ready" "$out" || { cat "$out"; exit 1; }
    sleep 2 # the first seek and the window's settling are not the steady state
    read -r u0 k0 < <(awk '{print $14, $15}' "/proc/$mon_pid/stat"); s0=$(date +%s.%N)
    sleep "$secs"
    read -r u1 k1 < <(awk '{print $14, $15}' "/proc/$mon_pid/stat"); s1=$(date +%s.%N)
    kill "$mon_pid"; wait "$mon_pid" 2>/dev/null || true; mon_pid=""
    rm -f "$out"
    python3 - "$speed" "$u0" "$k0" "$u1" "$k1" "$s0" "$s1" "$hz" <<'PY'
import sys
speed = sys.argv[1]
u0, k0, u1, k1, s0, s1, hz = (float(x) for x in sys.argv[2:])
t = (u1 - u0) + (k1 - k0)
print("playing at x%s for %.1f s: %.2f %% of one core (user+sys, %d ticks at %d Hz: user %d, sys %d)"
      % (speed, s1 - s0, 100.0 * t / hz / (s1 - s0), t, hz, u1 - u0, k1 - k0))
PY
done

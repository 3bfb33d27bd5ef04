#!/usr/bin/env bash
# The control room under load: SITES sites (default 200) each publishing one
# event a second (a tamper raised and restored in turn: every event goes to
# the log) for SECONDS (default 120), through a private broker, to hubroom.
# Prints hubroom's CPU (% of one core), its memory (VmRSS) every 10 s, the
# longest stall of its event loop and the longest grid paint, and checks that
# the log holds every event.
#   bench/room_load.sh [SECONDS] [SITES]   (build first: cmake --build --preset default)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${HUB_BUILD_DIR:-$here/build/default}"
secs="${1:-120}"
sites="${2:-200}"
work="$(mktemp -d)"
broker_pid=""; room_pid=""; pub_pid=""
cleanup() {
    [ -n "$pub_pid" ] && kill "$pub_pid" 2>/dev/null || true
    [ -n "$room_pid" ] && kill "$room_pid" 2>/dev/null || true
    [ -n "$broker_pid" ] && kill "$broker_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

. "$here/scripts/private-broker.sh"
start_private_broker "$work" "persistence false" "max_queued_messages 100000"
port=$broker_port

# The recording every site plays: settings, then a state a second with the
# first barrier's tamper bit set and cleared in turn (one event a second).
python3 - "$work/load.dat" "$((secs + 30))" <<'PY'
import struct, sys
from datetime import datetime
path, n = sys.argv[1], int(sys.argv[2])
t0 = (datetime(2026, 12, 8, 10, 0, 0) - datetime(1899, 12, 30)).total_seconds() / 86400.0
rec = lambda typ, t, payload=b"": bytes([typ]) + struct.pack("<d", t) + payload
out = [rec(100, t0), rec(1, t0, bytes([0x41, 0xFF, 0, 0, 0, 0, 0, 3, 5, 0]))]
for i in range(n):
    st = bytearray(12)
    st[2] = 0x40 if i % 2 else 0
    out.append(rec(2, t0 + (i + 1) / 86400.0, bytes(st)))
open(path, "wb").write(b"".join(out))
PY

cd "$work"
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" HUBROOM_PROBE="$work/probe.txt" \
    "$bin/hubroom/hubroom" --broker "mqtt://room@127.0.0.1:$port" --history "$work/room.sqlite" 2>"$work/room.err" &
room_pid=$!
sleep 2
"$bin/tools/hubdat/hubdat" publish "$work/load.dat" --uplink "mqtt://127.0.0.1:$port/load" --sites "$sites" \
    --rate 1 --now --journal-dir "$work" >"$work/pub.out" 2>&1 &
pub_pid=$!

ticks() { awk '{print $14, $15}' "/proc/$room_pid/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$room_pid/status"; }
hz=$(getconf CLK_TCK)
sleep 15 # the sites connect and the retained picture comes in: not the steady state
read -r u0 k0 < <(ticks); s0=$(date +%s.%N)
echo "rss_kb at start of the measured span: $(rss)"
for ((i = 10; i <= secs; i += 10)); do
    sleep 10
    echo "rss_kb after ${i}s: $(rss)"
done
read -r u1 k1 < <(ticks); s1=$(date +%s.%N)
kill "$pub_pid" 2>/dev/null || true; wait "$pub_pid" 2>/dev/null || true; pub_pid=""
sleep 2
kill -TERM "$room_pid"; wait "$room_pid" 2>/dev/null || true; room_pid=""
awk -v u="$((u1 - u0))" -v k="$((k1 - k0))" -v hz="$hz" -v a="$s0" -v b="$s1" \
    'BEGIN { w = b - a; printf "hubroom cpu: %.2f %% of one core over %.1f s (user %.2f s, sys %.2f s)\n", 100 * (u + k) / hz / w, w, u / hz, k / hz }'
cat "$work/probe.txt"
echo "--- publisher:"; tail -n 3 "$work/pub.out"
echo "--- hubroom:"; tail -n 3 "$work/room.err"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

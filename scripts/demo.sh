#!/usr/bin/env bash
# The main job: hubmonitor on screen, acquiring live from a simulated hub
# (hubsim on a pseudo-terminal) started here. Without a DISPLAY it runs under
# Xvfb, saves a screenshot of the main window (and of the whole screen) and
# prints their paths. With arguments, hubmonitor gets them instead (for
# example a recording to view) and no simulated hub is started.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh" default >/dev/null
bin="$here/build/default"

# ./scripts/demo.sh room: the control room. A private broker, three simulated
# sites (recordings played by hubdat publish: one in alarm, one with a fault,
# one with stand-by and beams) and a fourth site killed mid-stream so that the
# broker reports it lost; then hubroom. Without a DISPLAY it saves screenshots
# of the grid, a site's monitor and the log and prints their paths.
if [ "${1:-}" = room ]; then
    work="$(mktemp -d)"
    pids=()
    cleanup_room() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"; }
    trap cleanup_room EXIT
    . "$here/scripts/private-broker.sh"
    start_private_broker "$work" "persistence false"
    pids+=("$broker_pid")
    port=$broker_port
    # Each site's recording: settings (couples A and B), then its states, one a second.
    python3 - "$work" <<'PY'
import struct, sys
from datetime import datetime
work = sys.argv[1]
t0 = (datetime.now() - datetime(1899, 12, 30)).total_seconds() / 86400.0
rec = lambda typ, t, p=b"": bytes([typ]) + struct.pack("<d", t) + p
def write(name, states):
    out = [rec(100, t0), rec(1, t0, bytes([0x41, 0xFF, 0, 0, 0, 0, 0, 3, 5, 0]))]
    for i, st in enumerate(states):
        out.append(rec(2, t0 + (i + 1) / 86400.0, bytes(st + [0] * (12 - len(st)))))
    open(f"{work}/{name}.dat", "wb").write(b"".join(out))
write("north-gate", [[0, 0, 0], [0x03, 0, 0], [0x03, 0x01, 0x02], [0x07, 0x01, 0x02]] + [[0x07, 0x01, 0x02]] * 600)
write("quarry", [[0, 0, 0], [0, 0, 0, 0, 0, 0x10]] + [[0, 0, 0, 0x04, 0, 0x10]] * 600)
write("depot", [[0, 0, 0], [0, 0, 0x80, 0x01, 0, 0]] + [[0, 0x02, 0x80, 0x01, 0, 0x40]] * 600)
write("harbour", [[0, 0, 0]] * 600)
PY
    room=("$bin/hubroom/hubroom" --broker "mqtt://room@127.0.0.1:$port" --history "$work/room.sqlite"
          --archive "$work/archive")
    start_sites() {
        for s in north-gate quarry depot harbour; do
            "$bin/tools/hubdat/hubdat" publish "$work/$s.dat" --uplink "mqtt://127.0.0.1:$port/$s" --rate 1 --now \
                --journal-dir "$work" >/dev/null 2>&1 &
            pids+=($!)
            [ "$s" = harbour ] && harbour=$!
        done
        sleep 4
        kill -9 "$harbour" 2>/dev/null || true # no clean stop: the broker publishes its last will
    }
    echo "broker: mqtt://127.0.0.1:$port"
    # The room first, so that it sees the sites' first events.
    if [ -n "${DISPLAY:-}" ]; then
        "${room[@]}" &
        room_pid=$!
        sleep 2
        start_sites
        wait "$room_pid"
        exit
    fi
    shots="${HUB_DEMO_SHOTS:-$here/build/room-demo}"
    mkdir -p "$shots"
    HUBROOM_SCREENSHOT_DIR="$shots" HUBROOM_SCREENSHOT_DELAY_MS="${HUB_DEMO_DELAY_MS:-8000}" \
        xvfb-run -a -s "-screen 0 1280x800x24" "${room[@]}" &
    room_pid=$!
    sleep 2
    start_sites
    wait "$room_pid"
    [ -s "$shots/room-grid.png" ] || { echo "demo: no screenshot was written" >&2; exit 1; }
    exit
fi

args=("$@")
sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT
if [ ${#args[@]} -eq 0 ]; then
    simout="$(mktemp)"
    "$bin/tools/hubsim/hubsim" --link "demo-$$" --event-every 4 >"$simout" &
    sim_pid=$!
    for _ in $(seq 50); do [ -s "$simout" ] && break; sleep 0.1; done
    link="$(head -n1 "$simout")"
    rm -f "$simout"
    [ -n "$link" ] || { echo "demo: hubsim did not start" >&2; exit 1; }
    echo "simulated hub: $link"
    args=(--port "$link" --no-record)
fi

if [ -n "${DISPLAY:-}" ]; then
    "$bin/monitor/hubmonitor" "${args[@]}"
    exit
fi
shot="${HUB_DEMO_SHOT:-$here/build/hubmonitor-demo.png}"
rm -f "$shot"
HUBMONITOR_SCREENSHOT="$shot" HUBMONITOR_SCREENSHOT_DELAY_MS="${HUB_DEMO_DELAY_MS:-3000}" \
    xvfb-run -a -s "-screen 0 1024x768x24" "$bin/monitor/hubmonitor" "${args[@]}"
# hubmonitor printed the paths it wrote; make sure the main one is there.
[ -s "$shot" ] || { echo "demo: no screenshot was written" >&2; exit 1; }

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

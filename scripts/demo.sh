#!/usr/bin/env bash
# The main job: hubmonitor on screen. Without a DISPLAY it runs under Xvfb,
# saves a screenshot of the main window (and of the whole screen) and prints
# their paths.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh" default >/dev/null
bin="$here/build/default"
if [ -n "${DISPLAY:-}" ]; then
    exec "$bin/monitor/hubmonitor" "$@"
fi
shot="${HUB_DEMO_SHOT:-$here/build/hubmonitor-demo.png}"
rm -f "$shot"
HUBMONITOR_SCREENSHOT="$shot" HUBMONITOR_SCREENSHOT_DELAY_MS="${HUB_DEMO_DELAY_MS:-3000}" \
    xvfb-run -a -s "-screen 0 1024x768x24" "$bin/monitor/hubmonitor" "$@"
# hubmonitor printed the paths it wrote; make sure the main one is there.
[ -s "$shot" ] || { echo "demo: no screenshot was written" >&2; exit 1; }

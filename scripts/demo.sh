#!/usr/bin/env bash
# The main job: hubmonitor on screen. Without a DISPLAY it runs under Xvfb,
# saves a screenshot and prints its path.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh" default >/dev/null
bin="$here/build/default"
if [ -n "${DISPLAY:-}" ]; then
    exec "$bin/monitor/hubmonitor" "$@"
fi
shot="${HUB_DEMO_SHOT:-$here/build/hubmonitor-demo.png}"
HUBMONITOR_SCREENSHOT="$shot" HUBMONITOR_SCREENSHOT_DELAY_MS="${HUB_DEMO_DELAY_MS:-3000}" \
    xvfb-run -a -s "-screen 0 1024x768x24" "$bin/monitor/hubmonitor" "$@"
echo "screenshot: $shot"

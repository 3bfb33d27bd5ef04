#!/usr/bin/env bash
# Start-up to the first painted main window, median of 5 runs, on the offscreen
# platform and (when xvfb-run is there) on a real X server.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$here/build/default"
[ -x "$bin/bench/bench_startup" ] || cmake --build --preset default --target bench_startup hubmonitor
QT_QPA_PLATFORM=offscreen "$bin/bench/bench_startup" "$bin/monitor/hubmonitor" 5
if command -v xvfb-run >/dev/null; then
    env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1024x768x24" \
        "$bin/bench/bench_startup" "$bin/monitor/hubmonitor" 5
fi

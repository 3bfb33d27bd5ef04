#!/usr/bin/env bash
# Soak: a long unattended acquisition (hubmonitor --port) from the simulated hub,
# with a fault every few minutes, then checks that the recording replays whole.
#
#   bench/soak.sh [SECONDS, default 1800] [PHASE SECONDS, default 240]
#
# The simulated hub is restarted at every phase with the next fault; a restart
# is itself a vanish and reappear of the device (the link goes away and comes
# back under the same name). Faults in turn: garbage records, a stall, a wrong
# settings echo, streams that fall silent, and a plain vanish.
# Reports hubmonitor's RSS at start and end, the reconnects seen in the file
# (settings records), and hubdat info of the recording.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${HUB_BIN:-$here/build/default}"
total="${1:-1800}"
phase="${2:-240}"
work="$(mktemp -d /tmp/hubsoak-XXXXXX)"
export HUBSIM_DIR="$work/links"
mkdir -p "$HUBSIM_DIR"
link="$HUBSIM_DIR/soak"
sim_pid=""
mon_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
    [ -n "$mon_pid" ] && kill "$mon_pid" 2>/dev/null || true
}
trap cleanup EXIT

faults=("--garbage-every 2000" "--stall 5000 --stall-after 500" "--wrong-echo"
        "--silent-after 3000" "")
start_sim() {
    # shellcheck disable=SC2086 # the fault options are words
    "$bin/tools/hubsim/hubsim" --link soak --event-every 3 --seed "$RANDOM" $1 >/dev/null &
    sim_pid=$!
    for _ in $(seq 50); do [ -e "$link" ] && return 0; sleep 0.1; done
    echo "soak: hubsim did not start" >&2
    exit 1
}
stop_sim() {
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
}
rss() { awk '/VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo "?"; }

start_sim ""
cd "$work"
QT_QPA_PLATFORM=offscreen "$bin/monitor/hubmonitor" --port "$link" --record soak >"$work/monitor.log" 2>&1 &
mon_pid=$!
sleep 10
rss_start="$(rss "$mon_pid")"
echo "soak: $total s, a fault every $phase s; hubmonitor pid $mon_pid, RSS at start $rss_start kB"

elapsed=10
i=0
while [ "$elapsed" -lt "$total" ]; do
    step=$(( phase < total - elapsed ? phase : total - elapsed ))
    sleep "$step"
    elapsed=$(( elapsed + step ))
    if ! kill -0 "$mon_pid" 2>/dev/null; then
        echo "soak: FAILED: hubmonitor ended after $elapsed s" >&2
        cat "$work/monitor.log" >&2
        exit 1
    fi
    [ "$elapsed" -ge "$total" ] && break
    f="${faults[$(( i % ${#faults[@]} ))]}"
    i=$(( i + 1 ))
    echo "soak: at $elapsed s: vanish, then back with faults: ${f:-none}; RSS $(rss "$mon_pid") kB"
    stop_sim
    sleep 5
    start_sim "$f"
    if [ "$f" = "--wrong-echo" ]; then
        # A hub that never answers right: let it fail for a while, then heal.
        sleep 30
        elapsed=$(( elapsed + 30 ))
        stop_sim
        start_sim ""
    fi
done

rss_end="$(rss "$mon_pid")"
kill -TERM "$mon_pid"
wait "$mon_pid" || true
mon_pid=""
stop_sim
rec="$(ls "$work"/soak__PORT-*.dat)"
echo "soak: RSS at start $rss_start kB, at end $rss_end kB"
info="$("$bin/tools/hubdat/hubdat" info "$rec")"
echo "$info"
grep -q '^end record: present' <<<"$info" ||
    { echo "soak: FAILED: the recording does not end with its end record" >&2; exit 1; }
# Replayed whole: every state record of the file applied.
states="$(sed -n 's/.* \([0-9]*\) state (type 2).*/\1/p' <<<"$info")"
replayed="$("$bin/tools/hubdat/hubdat" replay "$rec" --json | sed -n 's/.*"counter": *\([0-9]*\).*/\1/p')"
if [ -z "$states" ] || [ "$replayed" != "$states" ]; then
    echo "soak: FAILED: replay applied ${replayed:-?} of ${states:-?} state records" >&2
    exit 1
fi
echo "soak: recording $rec replays completely ($replayed state records)"
# Every reconnect writes a settings record: one for the start and one for each
# time the hub came back.
settings="$(sed -n 's/.* \([0-9]*\) settings (type 1).*/\1/p' <<<"$info")"
if [ "${settings:-0}" -lt $(( i + 1 )) ]; then
    echo "soak: FAILED: $settings settings records for $i restarts of the hub: not every reconnect happened" >&2
    exit 1
fi
echo "soak: reconnected after each of $i restarts"

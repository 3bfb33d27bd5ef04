#!/usr/bin/env bash
# The machine's floor under the live link and the uplink: what one sleep and
# wake-up of a thread costs, and what libmosquitto alone costs a QoS 1
# message to a private Mosquitto on loopback, in bursts and one at a time.
#   bench/floor.sh        (needs cc, libmosquitto-dev and mosquitto)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
broker=""
trap '[ -n "$broker" ] && kill "$broker" 2>/dev/null; rm -rf "$work"' EXIT
cc -O2 -o "$work/wake" "$here/floor/wake.c"
cc -O2 -o "$work/mqtt" "$here/floor/mqtt.c" -lmosquitto
"$work/wake"
port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
printf 'listener %s 127.0.0.1\nallow_anonymous true\nmax_inflight_messages 1000\n' "$port" >"$work/b.conf"
/usr/sbin/mosquitto -c "$work/b.conf" >"$work/b.log" 2>&1 &
broker=$!
sleep 0.5
"$work/mqtt" "$port" 300 14 1
"$work/mqtt" "$port" 300 14 0
"$work/mqtt" "$port" 1000 1 1

#!/usr/bin/env bash
# The machine's floor under the live link and the uplink: what one sleep and
# wake-up of a thread costs, and what libmosquitto alone costs a QoS 1
# message to a private Mosquitto on loopback, in bursts and one at a time.
#   bench/floor.sh        (needs cc, libmosquitto-dev and mosquitto)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
broker_pid=""
trap '[ -n "$broker_pid" ] && kill "$broker_pid" 2>/dev/null; rm -rf "$work"' EXIT
cc -O2 -o "$work/wake" "$here/floor/wake.c"
cc -O2 -o "$work/mqtt" "$here/floor/mqtt.c" -lmosquitto
"$work/wake"
. "$here/../scripts/private-broker.sh"
start_private_broker "$work" "max_inflight_messages 1000"
"$work/mqtt" "$broker_port" 300 14 1
"$work/mqtt" "$broker_port" 300 14 0
"$work/mqtt" "$broker_port" 1000 1 1

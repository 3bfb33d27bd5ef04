# Sourced, not run: start_private_broker DIR [CONFIG LINE...] starts a
# Mosquitto of its own on a free loopback port, anonymous, its configuration
# and log in DIR, with the lines given added to its configuration. Sets
# broker_port and broker_pid; stopping it is the caller's.
start_private_broker() {
    local dir="$1"
    shift
    broker_port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
    {
        printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$broker_port"
        if [ $# -gt 0 ]; then printf '%s\n' "$@"; fi
    } >"$dir/mosquitto.conf"
    /usr/sbin/mosquitto -c "$dir/mosquitto.conf" >"$dir/broker.log" 2>&1 &
    broker_pid=$!
    sleep 0.5
}

# Processes a script starts, and waiting for things to happen.
# shellcheck shell=bash

velmora_alive() { [[ -n ${1:-} ]] && kill -0 "$1" 2>/dev/null; }

# velmora_stop PID...: ends processes this script started, politely first.
# Empty ids are passed over, so a script can name what it may have started.
velmora_stop() {
    local pid
    for pid in "$@"; do
        velmora_alive "$pid" || continue
        kill -TERM "$pid" 2>/dev/null
        for _ in $(seq 1 30); do
            velmora_alive "$pid" || break
            sleep 0.1
        done
        velmora_alive "$pid" && kill -KILL "$pid" 2>/dev/null
        # Its status is that of the signal; under set -e that must not end
        # the script (in an exit trap, before the rest is stopped).
        wait "$pid" 2>/dev/null || true
    done
    return 0
}

velmora_now_ms() { echo $(($(date +%s%N) / 1000000)); }

# velmora_wait_for SECONDS CMD [ARGS]: runs the command until it succeeds;
# fails when the seconds have passed first.
velmora_wait_for() {
    local seconds=$1
    shift
    local deadline=$(($(velmora_now_ms) + seconds * 1000))
    until "$@"; do
        (($(velmora_now_ms) < deadline)) || return 1
        sleep 0.05
    done
}

# velmora_wait_port HOST PORT [SECONDS [PID]]: waits until a TCP connection
# to HOST:PORT is accepted. With PID, gives up as soon as that process ends.
velmora_wait_port() {
    local host=$1 port=$2 seconds=${3:-10} pid=${4:-} tries i
    tries=$((seconds * 20))
    for ((i = 0; i < tries; i++)); do
        if [[ -n $pid ]] && ! velmora_alive "$pid"; then return 1; fi
        (exec 3<>"/dev/tcp/$host/$port") 2>/dev/null && return 0
        sleep 0.05
    done
    return 1
}

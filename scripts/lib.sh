# Shared pieces of the project's shell scripts: root rights, packages, the
# chapter server, waiting for a port, a virtual display. Sourced, never run:
#
#   . "$ROOT/scripts/lib.sh"
#
# Every function reports its problems on stderr and returns non-zero; what a
# script does about that is its own business. Processes started here are
# stopped with velmora_stop (their ids are in the variables named below).
# shellcheck shell=bash

VELMORA_ROOT=${VELMORA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
# The book server's configuration, the same file the installed package runs.
VELMORA_BOOK_CONF=${VELMORA_BOOK_CONF:-$VELMORA_ROOT/packaging/velmora-book.conf}
VELMORA_LIGHTTPD=${VELMORA_LIGHTTPD:-/usr/sbin/lighttpd}

velmora_say() { printf '%s\n' "${VELMORA_SCRIPT:-velmora}: $*" >&2; }

# ---------------------------------------------------------------- root rights

# velmora_as_root CMD [ARGS]: runs a command as root, through sudo when
# needed; fails (status 126) without asking when neither is possible.
velmora_as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        velmora_say "need root or sudo for: $*"
        return 126
    fi
}

# ---------------------------------------------------------------- packages

velmora_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# velmora_apt_install PKG...: installs the packages that are not installed
# yet; the package lists are brought up to date first, and a running apt
# (another installation, the daily update) is waited for instead of failing.
velmora_apt_install() {
    local missing=() p
    for p in "$@"; do velmora_installed "$p" || missing+=("$p"); done
    ((${#missing[@]} > 0)) || return 0
    command -v apt-get >/dev/null 2>&1 || {
        velmora_say "missing packages: ${missing[*]} (no apt-get here: install them by hand)"
        return 1
    }
    velmora_say "installing ${missing[*]}"
    local apt=(apt-get -o DPkg::Lock::Timeout=900 -q)
    velmora_as_root env DEBIAN_FRONTEND=noninteractive "${apt[@]}" update &&
        velmora_as_root env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
}

# ---------------------------------------------------------------- processes

velmora_alive() { [[ -n ${1:-} ]] && kill -0 "$1" 2>/dev/null; }

# velmora_stop PID...: ends processes this script started, politely first.
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
        wait "$pid" 2>/dev/null
    done
    return 0
}

# velmora_wait_port HOST PORT [SECONDS [PID]]: waits until a TCP connection
# to HOST:PORT is accepted. With PID, gives up as soon as that process ends.
velmora_wait_port() {
    local host=$1 port=$2 seconds=${3:-10} pid=${4:-} tries
    tries=$((seconds * 20))
    for ((i = 0; i < tries; i++)); do
        if [[ -n $pid ]] && ! velmora_alive "$pid"; then return 1; fi
        (exec 3<>"/dev/tcp/$host/$port") 2>/dev/null && return 0
        sleep 0.05
    done
    return 1
}

# ---------------------------------------------------------------- chapter server

# velmora_start_book_server BOOK_DIR PORT LOG: serves BOOK_DIR on
# 127.0.0.1:PORT the way the installed socket unit does: the socket is bound
# first, and the web server with our configuration starts on the first
# connection and takes the socket over. Its log (errors and one line per
# request) goes to LOG. Sets VELMORA_SERVER_PID.
# Returns 2 when the port is taken, 3 when binding it is not allowed.
velmora_start_book_server() {
    local book=$1 port=$2 log=$3
    VELMORA_SERVER_PID=""
    local tool
    for tool in systemd-socket-activate "$VELMORA_LIGHTTPD"; do
        command -v "$tool" >/dev/null 2>&1 || {
            velmora_say "$tool is missing (scripts/setup-deps.sh installs it)"
            return 1
        }
    done
    VELMORA_BOOK_DIR=$(cd "$book" && pwd) VELMORA_BOOK_PORT=$port \
        systemd-socket-activate -E VELMORA_BOOK_DIR -E VELMORA_BOOK_PORT -l "127.0.0.1:$port" \
        "$VELMORA_LIGHTTPD" -D -f "$VELMORA_BOOK_CONF" >"$log" 2>&1 &
    VELMORA_SERVER_PID=$!
    if velmora_wait_port 127.0.0.1 "$port" 10 "$VELMORA_SERVER_PID"; then
        # The probe's connection has started the web server; a configuration
        # it refuses only shows now.
        for _ in $(seq 1 100); do
            grep -q "server started" "$log" && return 0
            velmora_alive "$VELMORA_SERVER_PID" || break
            sleep 0.1
        done
    fi
    wait "$VELMORA_SERVER_PID" 2>/dev/null
    VELMORA_SERVER_PID=""
    if grep -q "Address already in use" "$log"; then return 2; fi
    if grep -q "Permission denied" "$log"; then return 3; fi
    return 1
}

# ---------------------------------------------------------------- virtual display

# velmora_start_display [SCREEN]: starts Xvfb on a display number that the X
# server picks itself (no race between two runs) and exports DISPLAY. SCREEN
# is WxHxDEPTH (default 1280x1024x24). Sets VELMORA_XVFB_PID.
velmora_start_display() {
    local screen=${1:-1280x1024x24} fifo number=""
    command -v Xvfb >/dev/null 2>&1 || {
        velmora_say "Xvfb is missing (scripts/setup-deps.sh installs it)"
        return 1
    }
    fifo=$(mktemp -u "${TMPDIR:-/tmp}/velmora-display.XXXXXX")
    mkfifo "$fifo" || return 1
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    VELMORA_XVFB_PID=$!
    read -r -t 30 number <"$fifo"
    rm -f "$fifo"
    if [[ -z $number ]] || ! velmora_alive "$VELMORA_XVFB_PID"; then
        velmora_say "Xvfb did not start"
        velmora_stop "$VELMORA_XVFB_PID"
        VELMORA_XVFB_PID=""
        return 1
    fi
    export DISPLAY=:$number
}

# velmora_start_window_manager LOG: starts openbox on $DISPLAY and waits
# until it manages the screen. Sets VELMORA_WM_PID.
velmora_start_window_manager() {
    local log=${1:-/dev/null}
    openbox >"$log" 2>&1 &
    VELMORA_WM_PID=$!
    for _ in $(seq 1 200); do
        [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *"window id"* ]] && return 0
        velmora_alive "$VELMORA_WM_PID" || break
        sleep 0.1
    done
    velmora_say "the window manager did not start"
    return 1
}

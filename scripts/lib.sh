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
# The book server: the installed package's service unit (its command line)
# and configuration; the scripts run that same command on their own folders.
VELMORA_BOOK_UNIT=${VELMORA_BOOK_UNIT:-$VELMORA_ROOT/packaging/velmora-book@.service}
VELMORA_BOOK_CONF=${VELMORA_BOOK_CONF:-$VELMORA_ROOT/packaging/velmora-book.conf}

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

# velmora_book_server_command BOOK_DIR: prints the service unit's ExecStart,
# one word a line, with BOOK_DIR after -h and $VELMORA_BOOK_CONF after -c.
velmora_book_server_command() {
    local book=$1 line words=() i
    line=$(sed -n 's/^ExecStart=//p' "$VELMORA_BOOK_UNIT") || return 1
    read -ra words <<<"$line"
    for ((i = 0; i < ${#words[@]}; i++)); do
        case ${words[i]} in
        -h) words[i + 1]=$book ;;
        -c) words[i + 1]=$VELMORA_BOOK_CONF ;;
        esac
    done
    [[ ${#words[@]} -gt 0 && " ${words[*]} " == *" -h $book "* && " ${words[*]} " == *" -c $VELMORA_BOOK_CONF "* ]] || {
        velmora_say "no book server command (ExecStart with -h and -c) in $VELMORA_BOOK_UNIT"
        return 1
    }
    printf '%s\n' "${words[@]}"
}

# velmora_book_folder_sound BOOK_DIR: the server follows symbolic links, so a
# folder it serves holds only files and folders; anything else (a link that
# may lead out of the book, a device, a pipe) is named and refused.
velmora_book_folder_sound() {
    local odd
    odd=$(find "$1" -mindepth 1 ! -type f ! -type d -print) || return 1
    [[ -z $odd ]] && return 0
    velmora_say "the book folder $1 holds something other than files and folders; not serving it:"
    printf '  %s\n' "$odd" >&2
    return 1
}

# velmora_start_book_server BOOK_DIR PORT LOG: serves BOOK_DIR on
# 127.0.0.1:PORT the way the installed socket unit does: the socket is bound
# first, and every connection is handed to a server of its own (inetd
# style), started with the service unit's command line. The log gets the
# socket's messages and, from the server, each request's path ("url:/Nav1.html")
# and answer. Sets VELMORA_SERVER_PID.
# Returns 2 when the port is taken, 3 when binding it is not allowed, 4 when
# the folder is refused.
velmora_start_book_server() {
    local book=$1 port=$2 log=$3 command=()
    VELMORA_SERVER_PID=""
    book=$(cd "$book" && pwd) || return 1
    velmora_book_folder_sound "$book" || return 4
    mapfile -t command < <(velmora_book_server_command "$book")
    ((${#command[@]} > 0)) || return 1
    local tool
    for tool in systemd-socket-activate "${command[0]}"; do
        command -v "$tool" >/dev/null 2>&1 || {
            velmora_say "$tool is missing (scripts/setup-deps.sh installs it)"
            return 1
        }
    done
    systemd-socket-activate --inetd --accept -l "127.0.0.1:$port" "${command[@]}" >"$log" 2>&1 &
    VELMORA_SERVER_PID=$!
    if velmora_wait_port 127.0.0.1 "$port" 10 "$VELMORA_SERVER_PID"; then
        # The probe's connection (no request) started one server; one that
        # refuses its folder or configuration ends with a failure.
        local ended
        for _ in $(seq 1 100); do
            ended=$(sed -n 's/^Child [0-9]* died with code \([0-9]*\)$/\1/p' "$log" | head -n 1)
            if [[ -n $ended ]]; then
                [[ $ended == 0 ]] && return 0
                break
            fi
            velmora_alive "$VELMORA_SERVER_PID" || break
            sleep 0.1
        done
    fi
    velmora_stop "$VELMORA_SERVER_PID"
    VELMORA_SERVER_PID=""
    if grep -q "^Failed to listen on .*Address already in use" "$log"; then return 2; fi
    if grep -q "^Failed to listen on .*Permission denied" "$log"; then return 3; fi
    return 1
}

# velmora_rerun_in_own_network GUARD_VAR CLEANUP SCRIPT [ARGS]: a test run
# as root goes on in a network namespace of its own, where every port is
# free and only its own servers answer (a display started outside is still
# reached through its socket file). Runs CLEANUP, then SCRIPT ARGS again
# there with GUARD_VAR=1 and never returns. Returns 1 when that cannot be
# done: not root, no unshare or ip, or already in such a run (GUARD_VAR set).
velmora_rerun_in_own_network() {
    local guard=$1 cleanup=$2
    shift 2
    [[ -z ${!guard:-} && $(id -u) -eq 0 ]] || return 1
    command -v unshare >/dev/null 2>&1 && command -v ip >/dev/null 2>&1 && unshare -n true 2>/dev/null || return 1
    velmora_say "going on in a network namespace of its own"
    "$cleanup"
    trap - EXIT
    # shellcheck disable=SC2016  # expanded by the inner shell
    exec unshare -n env "$guard=1" bash -c 'ip link set lo up && exec "$0" "$@"' "$@"
}

# velmora_serve_book_for_test BOOK_DIR PORT LOG GUARD_VAR CLEANUP SCRIPT [ARGS]:
# velmora_start_book_server for a test script. When another program holds
# the port (a chapter server someone left running, say), the script goes on
# through velmora_rerun_in_own_network where it can. Returns 0 when serving
# (VELMORA_SERVER_PID set), 77 when the run should be skipped and 1 when it
# fails, with the reason in VELMORA_SERVER_PROBLEM.
# shellcheck disable=SC2034  # VELMORA_SERVER_PROBLEM is the caller's to read
velmora_serve_book_for_test() {
    local book=$1 port=$2 log=$3 guard=$4 cleanup=$5
    shift 5
    VELMORA_SERVER_PROBLEM=""
    local tool
    for tool in systemd-socket-activate "$(velmora_book_server_command "$book" | head -n 1)"; do
        command -v "$tool" >/dev/null 2>&1 || {
            VELMORA_SERVER_PROBLEM="${tool:-the book server} is not installed"
            return 77
        }
    done
    velmora_start_book_server "$book" "$port" "$log"
    case $? in
    0) return 0 ;;
    2)
        velmora_say "127.0.0.1:$port is taken"
        velmora_rerun_in_own_network "$guard" "$cleanup" "$@"
        VELMORA_SERVER_PROBLEM="127.0.0.1:$port is taken by another program"
        return 77
        ;;
    3)
        VELMORA_SERVER_PROBLEM="cannot bind 127.0.0.1:$port: $(tail -n 1 "$log")"
        return 77
        ;;
    4) VELMORA_SERVER_PROBLEM="the book folder $book is refused" ;;
    *) VELMORA_SERVER_PROBLEM="the chapter server did not start" ;;
    esac
    return 1
}

# velmora_requested_paths LOG: the pages a book server's log shows asked
# for ("127.0.0.1:PORT: url:/Nav3.html"), one path a line, in order. A
# connection that asks nothing (the start-up probe) shows none.
velmora_requested_paths() {
    sed -n 's/^[0-9.]*:[0-9]*: url://p' "$1"
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

# ---------------------------------------------------------------- test verdicts
# A test script keeps its work folder, and shows the tail of the logs in it,
# only when it fails. Set VELMORA_TEST_WORK to the folder; the verdicts exit
# (77 is CTest's "skipped").
VELMORA_TEST_WORK=${VELMORA_TEST_WORK:-}
VELMORA_TEST_KEEP=0
velmora_test_skip() {
    echo "skipped: $*"
    exit 77
}
velmora_test_fail() {
    echo "FAILED: $*"
    local log
    for log in "$VELMORA_TEST_WORK"/*.log; do
        [[ -s $log ]] && tail -n 30 "$log" | sed "s/^/$(basename "$log" .log): /"
    done
    VELMORA_TEST_KEEP=1
    exit 1
}
# For the script's exit trap: the work folder goes unless the test failed.
velmora_test_forget_work() {
    [[ -n $VELMORA_TEST_WORK ]] || return 0
    if [[ $VELMORA_TEST_KEEP -eq 1 ]]; then
        echo "screenshots and logs kept in $VELMORA_TEST_WORK"
    else
        rm -rf "$VELMORA_TEST_WORK"
    fi
}

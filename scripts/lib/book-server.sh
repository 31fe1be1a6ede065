# The book server, started the way the installed package starts it, and a
# network of a script's own for when its port is taken.
# Needs messages.sh and processes.sh.
# shellcheck shell=bash

# The installed package's service unit (its command line) and configuration;
# the scripts run that same command on their own folders.
VELMORA_BOOK_UNIT=${VELMORA_BOOK_UNIT:-$VELMORA_ROOT/packaging/velmora-book@.service}
VELMORA_BOOK_CONF=${VELMORA_BOOK_CONF:-$VELMORA_ROOT/packaging/velmora-book.conf}

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

# velmora_start_book_server BOOK_DIR PORT LOG PID_VAR [WHY_VAR]: serves
# BOOK_DIR on 127.0.0.1:PORT the way the installed socket unit does: the
# socket is bound first, and every connection is handed to a server of its
# own (inetd style), started with the service unit's command line. The log
# gets the socket's messages and, from the server, each request's path
# ("url:/Nav1.html") and answer.
# Serving, PID_VAR gets the socket's process. Otherwise it fails and WHY_VAR
# gets the reason: taken (another program holds the port), forbidden
# (binding the port is not allowed), refused (the folder), missing (a tool
# is not installed) or failed (anything else; see the log).
velmora_start_book_server() {
    local _book=$1 _port=$2 _log=$3 _pid_var=$4 _why_var=${5:-} _command=() _tool _pid _ended
    velmora_set_result "$_pid_var" ""
    velmora_set_result "$_why_var" failed
    _book=$(cd "$_book" && pwd) || return 1
    velmora_book_folder_sound "$_book" || {
        velmora_set_result "$_why_var" refused
        return 1
    }
    mapfile -t _command < <(velmora_book_server_command "$_book")
    ((${#_command[@]} > 0)) || return 1
    for _tool in systemd-socket-activate "${_command[0]}"; do
        command -v "$_tool" >/dev/null 2>&1 || {
            velmora_say "$_tool is missing (scripts/setup-deps.sh installs it)"
            velmora_set_result "$_why_var" missing
            return 1
        }
    done
    systemd-socket-activate --inetd --accept -l "127.0.0.1:$_port" "${_command[@]}" >"$_log" 2>&1 &
    _pid=$!
    if velmora_wait_port 127.0.0.1 "$_port" 10 "$_pid"; then
        # The probe's connection (no request) started one server; one that
        # refuses its folder or configuration ends with a failure.
        for _ in $(seq 1 100); do
            _ended=$(sed -n 's/^Child [0-9]* died with code \([0-9]*\)$/\1/p' "$_log" | head -n 1)
            if [[ -n $_ended ]]; then
                if [[ $_ended == 0 ]]; then
                    velmora_set_result "$_pid_var" "$_pid"
                    velmora_set_result "$_why_var" ""
                    return 0
                fi
                break
            fi
            velmora_alive "$_pid" || break
            sleep 0.1
        done
    fi
    velmora_stop "$_pid"
    if grep -q "^Failed to listen on .*Address already in use" "$_log"; then
        velmora_set_result "$_why_var" taken
    elif grep -q "^Failed to listen on .*Permission denied" "$_log"; then
        velmora_set_result "$_why_var" forbidden
    fi
    return 1
}

# velmora_own_network_command GUARD_VAR OUT_VAR SCRIPT [ARGS]: the caller's
# array OUT_VAR gets the command that runs SCRIPT ARGS again in a network
# namespace of its own, where every port is free and only its own servers
# answer (a display started outside is still reached through its socket
# file), with GUARD_VAR=1 in its environment. The script cleans up and execs
# it. Fails when that cannot be done: not root, no unshare or ip, or already
# in such a run (GUARD_VAR set).
velmora_own_network_command() {
    local _guard=$1
    local -n _again=$2
    shift 2
    [[ -z ${!_guard:-} && $(id -u) -eq 0 ]] || return 1
    command -v unshare >/dev/null 2>&1 && command -v ip >/dev/null 2>&1 && unshare -n true 2>/dev/null || return 1
    # shellcheck disable=SC2016  # expanded by the inner shell
    _again=(unshare -n env "$_guard=1" bash -c 'ip link set lo up && exec "$0" "$@"' "$@")
}

# velmora_requested_paths LOG: the pages a book server's log shows asked
# for ("127.0.0.1:PORT: url:/Nav3.html"), one path a line, in order. A
# connection that asks nothing (the start-up probe) shows none.
velmora_requested_paths() {
    sed -n 's/^[0-9.]*:[0-9]*: url://p' "$1"
}

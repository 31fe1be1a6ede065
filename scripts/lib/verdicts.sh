# How a test script ends: passed, skipped or failed. A test keeps its work
# folder, and shows the tail of the logs in it, only when it fails. Set
# VELMORA_TEST_WORK to that folder, and call velmora_test_forget_work with
# the exit status from the script's exit trap.
# Needs messages.sh, processes.sh and book-server.sh.
# shellcheck shell=bash

# CTest's status for a skipped test (the tests' SKIP_RETURN_CODE).
VELMORA_TEST_SKIPPED=77
VELMORA_TEST_WORK=${VELMORA_TEST_WORK:-}

velmora_test_skip() {
    echo "skipped: $*"
    exit "$VELMORA_TEST_SKIPPED"
}

# velmora_test_need TOOL...: skips the test when one of the tools is missing.
velmora_test_need() {
    local _tool
    for _tool in "$@"; do
        command -v "$_tool" >/dev/null || velmora_test_skip "$_tool is not installed"
    done
}

# velmora_test_need_display: skips the test when there is no X display.
velmora_test_need_display() {
    [[ -n ${DISPLAY:-} ]] || velmora_test_skip "no display"
}

velmora_test_fail() {
    echo "FAILED: $*"
    local log
    for log in "$VELMORA_TEST_WORK"/*.log; do
        [[ -s $log ]] && tail -n 30 "$log" | sed "s/^/$(basename "$log" .log): /"
    done
    exit 1
}

# velmora_test_make_work: a fresh work folder for the test, in
# VELMORA_TEST_WORK.
velmora_test_make_work() {
    VELMORA_TEST_WORK=$(mktemp -d) || velmora_test_fail "no work folder"
}

# velmora_test_forget_work STATUS: the work folder goes, unless STATUS (the
# script's exit status) is a failure.
velmora_test_forget_work() {
    [[ -n $VELMORA_TEST_WORK && -d $VELMORA_TEST_WORK ]] || return 0
    if [[ $1 -ne 0 && $1 -ne $VELMORA_TEST_SKIPPED ]]; then
        echo "screenshots and logs kept in $VELMORA_TEST_WORK"
    else
        rm -rf "$VELMORA_TEST_WORK"
    fi
}

# velmora_test_serve_book BOOK_DIR PORT LOG PID_VAR GUARD_VAR AGAIN_VAR SCRIPT [ARGS]:
# velmora_start_book_server for a test script, with its verdict: serving,
# PID_VAR is set. When another program holds the port (a chapter server
# someone left running, say) and the script can go on in a network of its
# own, it fails with the caller's array AGAIN_VAR holding the command that
# does so (velmora_own_network_command), for the script to exec after its
# cleanup. Skips when a tool is missing or the port cannot be had; fails
# the test on any other problem.
velmora_test_serve_book() {
    local _book=$1 _port=$2 _log=$3 _pid_var=$4 _guard=$5 _again_var=$6 _why
    shift 6
    velmora_start_book_server "$_book" "$_port" "$_log" "$_pid_var" _why && return 0
    case $_why in
    taken)
        velmora_say "127.0.0.1:$_port is taken"
        velmora_own_network_command "$_guard" "$_again_var" "$@" && return 1
        velmora_test_skip "127.0.0.1:$_port is taken by another program"
        ;;
    forbidden) velmora_test_skip "cannot bind 127.0.0.1:$_port: $(tail -n 1 "$_log")" ;;
    missing) velmora_test_skip "the book server is not installed" ;;
    refused) velmora_test_fail "the book folder $_book is refused" ;;
    *) velmora_test_fail "the chapter server did not start" ;;
    esac
}

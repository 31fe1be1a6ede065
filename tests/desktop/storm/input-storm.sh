#!/usr/bin/env bash
# A seeded storm of input against the real reader on a virtual display, first
# without a window manager, then with one, while two busy processes of this
# script's own keep both cores loaded. Checked from outside only:
#   - a close request (WM_DELETE_WINDOW, as a window manager's close button
#     sends it) a moment after the window first appears ends the reader with
#     exit code 0, each of several tries;
#   - through a storm of clicks, keys, wheel and pointer moves the window
#     answers: afterwards a page header still switches the page;
#   - every chapter click gives exactly one request for that chapter's page
#     at the chapter server;
#   - the close at the end ends the reader with exit code 0.
#
#   input-storm.sh <reader> <book directory> <port>
#
# Runs on a display without a window manager (scripts/with-display.sh gives
# it one) and starts openbox itself for the second half. Exit 77 (skipped)
# only when a tool is missing or the chapter port cannot be bound.
#
# Environment:
#   STORM_SEED     the seed of the storm (default 1); a failure names it
#   STORM_ACTIONS  input actions per storm (default 32)
#   STORM_EARLY    early closes per half (default 2)
set -uo pipefail

reader=$1
book=$2
port=$3
seed=${STORM_SEED:-1}
actions=${STORM_ACTIONS:-32}
early=${STORM_EARLY:-2}

here=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=scripts/lib.sh
. "$here/../../../scripts/lib.sh"
# shellcheck source=tests/lib/screen.sh
. "$here/../../lib/screen.sh"
# shellcheck source=tests/lib/reader.sh
. "$here/../../lib/reader.sh"

velmora_test_make_work
work=$VELMORA_TEST_WORK
server_pid=""
wm_pid=""
reader_pid=""
busy=()

finish() {
    local status=${1:-$?}
    velmora_stop "$reader_pid" "${busy[@]}" "$server_pid" "$wm_pid"
    velmora_test_forget_work "$status"
}
trap finish EXIT

python=""
velmora_python_with 'import Xlib' python || velmora_test_skip "python3 with Xlib (python3-xlib) is not installed"
velmora_test_need xdotool import convert compare openbox xprop systemd-socket-activate /bin/busybox
velmora_test_need_display
[[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) != *"window id"* ]] ||
    velmora_test_skip "a window manager already runs on $DISPLAY; the first half needs a display without one"

again=()
velmora_test_serve_book "$book" "$port" "$work/server.log" server_pid INPUT_STORM_OWN_NETWORK again "$0" "$@" ||
    { finish 0; exec "${again[@]}"; }
page_paths() { velmora_requested_paths "$work/server.log" | grep -vxF /favicon.ico; }

# Both cores busy for the whole test, ended by their ids.
for _ in 1 2; do
    (while :; do :; done) &
    busy+=($!)
done

echo "storm seed $seed, $actions actions, $early early closes a half"
RANDOM=$seed
# random_delay LOW HIGH: a delay in seconds for sleep, drawn from the seed.
random_delay() { printf '0.%03d' $(($1 + RANDOM % ($2 - $1 + 1))); }

window=""
run=0

# start_reader: a fresh reader (its own cache, so every chapter is fetched
# from the server) and its window in $window.
start_reader() {
    run=$((run + 1))
    reader_start "$reader" "$work/run-$run" reader_pid || velmora_test_fail "run $run: the reader did not start"
    reader_wait_window "$reader_pid" window
}

# close_reader HOW WHAT: asks the reader's window to close (HOW: delete or
# alt-f4) and expects it to end with exit code 0 within 20 s.
close_reader() {
    local how=$1 what=$2 status
    if [[ $how == alt-f4 ]]; then
        xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4 2>/dev/null
    else
        "$python" "$here/send_close.py" "$window" || velmora_test_fail "$what: the close request could not be sent"
    fi
    reader_gone() { ! velmora_alive "$reader_pid"; }
    velmora_wait_for 20 reader_gone ||
        velmora_test_fail "$what: the reader still runs 20 s after its window was asked to close (seed $seed)"
    wait "$reader_pid"
    status=$?
    reader_pid=""
    [[ $status -eq 0 ]] || velmora_test_fail "$what: the reader ended with exit code $status (seed $seed)"
}

# Client coordinates at scale 1: the page headers, the chapter buttons, an
# empty stretch of the header strip, the page area.
readonly CONTENTS_HEADER=(45 14) READER_HEADER=(140 14) STRIP_GAP=(300 14)
readonly CHAPTER_Y=(53 103 153 203)
readonly PAGE="368x452+0+28"

click_at() { xdotool mousemove --window "$window" "$1" "$2" click 1; }

# One action that chooses no chapter: pointer moves and clicks off the
# buttons, header presses, keys that move focus or pages (never Enter or
# Space, which would choose), the wheel.
noise() {
    case $((RANDOM % 9)) in
    0) click_at "${CONTENTS_HEADER[@]}" ;;
    1) click_at "${READER_HEADER[@]}" ;;
    2) click_at "${STRIP_GAP[@]}" ;;
    3) xdotool mousemove --window "$window" $((RANDOM % 368)) $((RANDOM % 480)) ;;
    4) xdotool key Tab ;;
    5) xdotool key ctrl+Tab ;;
    6) xdotool key Left Right ;;
    7) xdotool mousemove --window "$window" 184 300 click $((RANDOM % 2 ? 4 : 5)) ;;
    8) xdotool key shift+Tab Escape ;;
    esac
}

# chapter_requested CHAPTER FROM: the server's log, since line FROM, shows
# the chapter's page asked for.
chapter_requested() { page_paths | tail -n +"$2" | grep -qxF "/Nav$1.html"; }

# storm WHAT FROM: the seeded storm on the running reader; each chapter once,
# in a seeded order, each behind a press on the contents header. A chapter
# click must give its request before the storm goes on: a load the next
# chapter replaces before the engine has sent it would otherwise never
# reach the server, by the engine's own right.
storm() {
    local what=$1 from=$2 chapters=(1 2 3 4) i j t chosen=() before after
    for ((i = 3; i > 0; i--)); do
        j=$((RANDOM % (i + 1)))
        t=${chapters[i]} chapters[i]=${chapters[j]} chapters[j]=$t
    done
    local every=$((actions / 4))
    for ((i = 0; i < actions; i++)); do
        velmora_alive "$reader_pid" || velmora_test_fail "$what: the reader ended during the storm (seed $seed)"
        if ((i % every == every - 1 && ${#chosen[@]} < 4)); then
            local chapter=${chapters[${#chosen[@]}]}
            click_at "${CONTENTS_HEADER[@]}"
            click_at 184 "${CHAPTER_Y[chapter - 1]}"
            chosen+=("$chapter")
            velmora_wait_for 30 chapter_requested "$chapter" "$from" ||
                velmora_test_fail "$what: the click on chapter $chapter gave no request within 30 s (seed $seed)"
        else
            noise
        fi
        sleep "$(random_delay 0 250)"
    done
    echo "$what: chapters chosen in the order ${chosen[*]}"

    # The window answers: the two headers still switch the page.
    click_at "${CONTENTS_HEADER[@]}"
    sleep 1
    before=$work/$what-contents.png after=$work/$what-reader.png
    screen_shot "$window" "$before" || velmora_test_fail "$what: no screenshot of the window"
    click_at "${READER_HEADER[@]}"
    sleep 1
    screen_shot "$window" "$after" || velmora_test_fail "$what: no screenshot of the window"
    (($(screen_difference "$before" "$after" "$PAGE") > 10000)) ||
        velmora_test_fail "$what: the window did not answer a header press after the storm (see $before, $after)"
}

# expect_one_request_each WHAT FROM: since line FROM of the server's log,
# exactly one request for each chapter page and for nothing else.
expect_one_request_each() {
    local what=$1 from=$2 paths
    four_requests() { (($(page_paths | tail -n +"$from" | wc -l) >= 4)); }
    velmora_wait_for 30 four_requests || true
    sleep 1 # a late second request would show now
    paths=$(page_paths | tail -n +"$from" | sort | tr '\n' ' ')
    [[ $paths == "/Nav1.html /Nav2.html /Nav3.html /Nav4.html " ]] ||
        velmora_test_fail "$what: four chapter clicks gave the requests: ${paths:-none} (seed $seed)"
}

half() {
    local what=$1 how=$2 k
    for ((k = 1; k <= early; k++)); do
        start_reader
        sleep "$(random_delay 300 999)"
        close_reader "$how" "$what, early close $k"
    done
    local from=$(($(page_paths | wc -l) + 1))
    start_reader
    storm "$what" "$from"
    expect_one_request_each "$what" "$from"
    sleep "$(random_delay 0 999)"
    close_reader "$how" "$what, close after the storm"
    echo "$what: passed"
}

half no-wm delete
velmora_start_window_manager "$work/openbox.log" wm_pid || velmora_test_fail "the window manager did not start"
half wm alt-f4
echo "input storm passed (seed $seed)"

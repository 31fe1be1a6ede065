#!/usr/bin/env bash
# End-to-end run of the real reader on a virtual display with a window
# manager, against a chapter server that this script starts and whose log it
# reads:
#   - the window maps with a 368 x 480 client area, the title "Тальмерин",
#     the window class Velmora and the program icon;
#   - a click on the third chapter's button makes the server receive exactly
#     one request for /Nav3.html, and after the slide the reader page shows
#     the chapter with the header "Содержание" drawn selected;
#   - a press on "Оглавление" brings the chapter buttons back at once, with no
#     slide;
#   - closing the window through the window manager (Alt+F4) ends the process
#     with exit code 0.
#
#   reader-smoke.sh <reader> <book directory> <port>
#
# Runs on a display (scripts/with-display.sh gives it a virtual one). Exit 77
# (skipped) only when a tool is missing or the chapter port cannot be bound;
# every other problem fails with its reason.
#
# Environment:
#   SCREENSHOT_DIR  when set, the table of contents and the reader page with
#                   chapter 3 are saved there as contents.png and chapter-3.png
#   BACK_LIMIT_MS   how soon after the press on "Оглавление" the buttons must
#                   be back (default 100; a slide would take 300), on top of
#                   the time one screenshot takes, measured before the press
set -uo pipefail

reader=$1
book=$2
port=$3
shot_dir=${SCREENSHOT_DIR:-}
back_limit_ms=${BACK_LIMIT_MS:-100}

here=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=scripts/lib.sh
. "$here/../../scripts/lib.sh"
# shellcheck source=tests/lib/screen.sh
. "$here/../lib/screen.sh"
# shellcheck source=tests/lib/reader.sh
. "$here/../lib/reader.sh"

work=$(mktemp -d)
VELMORA_TEST_WORK=$work
server_pid=""
wm_pid=""
reader_pid=""

# The exit status decides whether the work folder stays; 0 when the test goes
# on elsewhere.
finish() {
    local status=${1:-$?}
    velmora_stop "$reader_pid" "$server_pid" "$wm_pid"
    velmora_test_forget_work "$status"
}
trap finish EXIT

for tool in xdotool import convert compare identify openbox xprop xwininfo systemd-socket-activate /bin/busybox; do
    command -v "$tool" >/dev/null || velmora_test_skip "$tool is not installed"
done
[[ -n ${DISPLAY:-} ]] || velmora_test_skip "no display"

# ------------------------------------------------------------ chapter server
# Our own server (the one the installed package runs, with its
# configuration), so that its log tells exactly which pages were asked for.
again=()
velmora_test_serve_book "$book" "$port" "$work/server.log" server_pid READER_SMOKE_OWN_NETWORK again "$0" "$@" ||
    { finish 0; exec "${again[@]}"; }

# Page requests in the server's log, one path per line, whatever the method
# (the reader only sends GET).
requested_paths() { velmora_requested_paths "$work/server.log"; }
requests_of() {
    requested_paths | grep -cxF "$1"
}

# ------------------------------------------------------------ window manager
velmora_start_window_manager "$work/openbox.log" wm_pid || velmora_test_fail "the window manager did not start"

# ------------------------------------------------------------ the reader
reader_start "$reader" "$work" reader_pid || velmora_test_fail "the reader cannot be started"
window=""
reader_wait_window "$reader_pid" window

title=$(xdotool getwindowname "$window")
[[ $title == "Тальмерин" ]] || velmora_test_fail "the window's title is \"$title\", not \"Тальмерин\""
# Outputs are taken whole before they are searched: grep -q stopping early
# would fail the pipe.
info=$(xwininfo -id "$window")
[[ $info == *"Map State: IsViewable"* ]] || velmora_test_fail "the window is not mapped"
width=0 height=0
screen_window_size "$window" width height || velmora_test_fail "the window's size cannot be read"
[[ $width -eq 368 && $height -eq 480 ]] || velmora_test_fail "client area is ${width}x${height}, not 368x480"
class=$(xprop -id "$window" WM_CLASS)
[[ $class == *'"Velmora"'* ]] || velmora_test_fail "window class is not Velmora: $class"
# The program icon, rendered from its SVG into the build tree.
icons=$(xprop -id "$window" _NET_WM_ICON)
[[ $icons == *"Icon (16 x 16)"* ]] || velmora_test_fail "the window carries no 16x16 program icon"

# ------------------------------------------------------------ looking at the window
# Client coordinates in units, which are pixels at scale 1.
readonly STRIP_HEIGHT=28 # page headers
readonly BUTTON_HEIGHT=50
readonly PAGE="368x452+0+$STRIP_HEIGHT"
readonly PAGE_PIXELS=$((368 * 452))
readonly FIRST_HEADER="92x2+0+26"   # bottom rows of "Оглавление", x 0..92
readonly SECOND_HEADER="96x2+92+26" # bottom rows of "Содержание", x 92..188
readonly ACCENT=0067C0              # the selected header's underline
readonly BUTTON_FACE=FDFDFD
# The chapter page's own colours: background, body text, main heading.
readonly PAGE_BACKGROUND=FBFBF8
readonly PAGE_TEXT=1D2733
readonly PAGE_HEADING=123A5C

shot() { screen_shot "$window" "$1"; }
colour_count() { screen_colour_count "$@"; }
# Pixels of the page area that differ between two screenshots.
page_difference() { screen_difference "$1" "$2" "$PAGE"; }

# The chapter buttons: faces fill most of the top 200 units of the page.
shows_buttons() { (($(colour_count "$1" "$PAGE" $BUTTON_FACE) > 50000)); }
# The chapter page fills the whole page area: its background, dark text and
# heading, and nothing left of the buttons.
shows_chapter() {
    local file=$1
    (($(colour_count "$file" "$PAGE" $PAGE_BACKGROUND) > PAGE_PIXELS * 6 / 10)) &&
        (($(colour_count "$file" "$PAGE" $PAGE_TEXT) > 300)) &&
        (($(colour_count "$file" "$PAGE" $PAGE_HEADING) > 300)) &&
        (($(colour_count "$file" "$PAGE" $BUTTON_FACE) == 0))
}
# Header n (1 or 2) carries the accent underline across its whole width, and
# the other header none of it.
header_selected() {
    local file=$1 n=$2 on off
    if [[ $n -eq 1 ]]; then on=$FIRST_HEADER off=$SECOND_HEADER; else on=$SECOND_HEADER off=$FIRST_HEADER; fi
    local width=${on%%x*}
    (($(colour_count "$file" "$on" $ACCENT) == width * 2)) && (($(colour_count "$file" "$off" $ACCENT) == 0))
}


# ------------------------------------------------------------ table of contents
# The pointer starts wherever the display put it, possibly over a button;
# below the buttons it makes no control look hovered.
xdotool mousemove --window "$window" 184 470
contents=$work/contents.png
screen_wait_settled 20 "$window" "$PAGE" "$contents" shows_buttons || velmora_test_fail "the table of contents with its buttons did not appear"
header_selected "$contents" 1 || velmora_test_fail "the header \"Оглавление\" is not drawn selected at start"
[[ $(identify -format %wx%h "$contents") == 368x480 ]] || velmora_test_fail "screenshot of the window is $(identify -format %wx%h "$contents")"
[[ $(requested_paths | wc -l) -eq 0 ]] || velmora_test_fail "pages requested before any chapter was chosen: $(requested_paths | tr '\n' ' ')"

# ------------------------------------------------------------ chapter 3
screen_click "$window" 184 $((STRIP_HEIGHT + 2 * BUTTON_HEIGHT + BUTTON_HEIGHT / 2))
page_paths() { requested_paths | grep -vxF /favicon.ico; }
page_requested() { [[ -n $(page_paths) ]]; }
velmora_wait_for 20 page_requested || velmora_test_fail "choosing chapter 3 sent no request for /Nav3.html"
first=$(page_paths | head -n 1)
[[ $first == /Nav3.html ]] || velmora_test_fail "choosing chapter 3 requested $first, not /Nav3.html"

chapter=$work/chapter-3.png
screen_wait_settled 30 "$window" "$PAGE" "$chapter" shows_chapter || velmora_test_fail "the reader page does not show chapter 3 after the slide (see $chapter)"
header_selected "$chapter" 2 || velmora_test_fail "the header \"Содержание\" is not drawn selected on the reader page (see $chapter)"

# ------------------------------------------------------------ back, at once
xdotool mousemove --window "$window" 45 14
sleep 0.2
# What one screenshot costs on this machine right now: a frame proves how
# the window looked only once its taking has ended.
shot_ms=0
for _ in 1 2 3; do
    started=$(velmora_now_ms)
    shot "$work/calibration.png"
    ((shot_ms = $(velmora_now_ms) - started > shot_ms ? $(velmora_now_ms) - started : shot_ms))
done
# The page changes on the press, so the clock starts there (a whole click
# of xdotool takes a tenth of a second by itself). Screenshots as fast as
# they come for well over a slide's 0.3 s; looked at afterwards so that the
# looking does not slow the taking. Each frame's time is when its taking
# ended: by then the window looked like that.
clicked=$(velmora_now_ms)
xdotool mousedown 1
frames=()
until (($(velmora_now_ms) - clicked > 700)); do
    frame=$work/back-$(printf %03d ${#frames[@]}).png
    shot "$frame"
    frames+=("$frame:$(($(velmora_now_ms) - clicked))")
done
xdotool mouseup 1
back_ms=""
for entry in "${frames[@]}"; do
    frame=${entry%:*} ms=${entry##*:}
    if [[ $(page_difference "$contents" "$frame") -le 100 ]]; then
        [[ -n $back_ms ]] || back_ms=$ms
    elif [[ -n $back_ms ]]; then
        velmora_test_fail "the table of contents came back at $back_ms ms but did not stay (see $frame, $ms ms)"
    elif ! shows_chapter "$frame"; then
        velmora_test_fail "going back shows a frame that is neither page, as a slide would (see $frame, $ms ms)"
    fi
done
[[ -n $back_ms ]] || velmora_test_fail "the table of contents did not come back within 700 ms of the press on \"Оглавление\""
((back_ms <= back_limit_ms + shot_ms)) ||
    velmora_test_fail "the table of contents came back only after $back_ms ms (limit $back_limit_ms ms + $shot_ms ms for a screenshot)"
header_selected "${frames[-1]%:*}" 1 || velmora_test_fail "the header \"Оглавление\" is not drawn selected after going back"
echo "table of contents back after $back_ms ms (a screenshot takes $shot_ms ms)"

# ------------------------------------------------------------ close
xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
reader_gone() { ! kill -0 "$reader_pid" 2>/dev/null; }
velmora_wait_for 15 reader_gone || velmora_test_fail "the reader is still running 15 s after Alt+F4"
wait "$reader_pid"
status=$?
reader_pid=""
[[ $status -eq 0 ]] || velmora_test_fail "the reader exited with code $status after its window was closed"

# Counted at the very end, so that a late second load is caught too.
nav3=$(requests_of /Nav3.html)
[[ $nav3 -eq 1 ]] || velmora_test_fail "the server received $nav3 requests for /Nav3.html, not exactly one"
others=$(requested_paths | grep -vxF -e /Nav3.html -e /favicon.ico | tr '\n' ' ')
[[ -z $others ]] || velmora_test_fail "pages other than chapter 3 were requested: $others"

if [[ -n $shot_dir ]]; then
    if ! mkdir -p "$shot_dir" || ! cp "$contents" "$chapter" "$shot_dir"/; then
        velmora_test_fail "cannot save screenshots in $shot_dir"
    fi
fi
echo "reader smoke test passed"

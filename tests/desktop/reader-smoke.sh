#!/usr/bin/env bash
# End-to-end run of the real reader on a virtual display with a window
# manager, against a chapter server that this script starts and whose log it
# reads:
#   - the window maps with a 368 x 480 client area, the title "Тальмерин",
#     the window class Velmora and the program icon;
#   - a click on the third chapter's button makes the server receive exactly
#     one request for /Nav3.html, and after the slide the reader page shows
#     the chapter with the header "Содержание" drawn selected;
#   - a press on "Оглавление" brings the chapter buttons back at once: the
#     page area changes once, from the chapter to the buttons, with no slide
#     and no other picture in between (how soon is a figure of bench/run.sh);
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
set -uo pipefail

reader=$1
book=$2
port=$3
shot_dir=${SCREENSHOT_DIR:-}

here=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=scripts/lib.sh
. "$here/../../scripts/lib.sh"
# shellcheck source=tests/lib/screen.sh
. "$here/../lib/screen.sh"
# shellcheck source=tests/lib/reader.sh
. "$here/../lib/reader.sh"

velmora_test_make_work
work=$VELMORA_TEST_WORK
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

velmora_test_need xdotool import convert compare identify openbox xprop xwininfo systemd-socket-activate /bin/busybox cc
velmora_test_need_display

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
# One small X client (the benchmark's probe) presses the header and grabs the
# page area as fast as the display answers, counting the pictures it shows
# until it has stood still for 700 ms. Screenshots by separate processes take
# longer than a slide on a busy machine and could miss one; the probe cannot,
# and what it counts does not depend on how busy the machine is. The page's
# scroll indicator (right edge) fades on its own time and is left out.
probe=$work/xprobe
cc -O2 -o "$probe" "$here/../../bench/xprobe.c" -lX11 -lXext -lXtst 2>"$work/xprobe-build.log" ||
    velmora_test_fail "the probe does not build (see $work/xprobe-build.log)"
xdotool mousemove --window "$window" 45 14
sleep 0.2
back=$("$probe" watch --pid "$reader_pid" --region "0,$STRIP_HEIGHT,356,452" --click 45,14 --settle-ms 700 \
    --timeout-ms 20000) || velmora_test_fail "the probe could not watch the window: $back"
pictures=$(sed -n 's/.*\bpictures=\([0-9]*\).*/\1/p' <<<"$back")
back_ms=$(sed -n 's/.*\bfirst_change_ms=\([-0-9.]*\).*/\1/p' <<<"$back")
[[ $back == *settled=1* ]] || velmora_test_fail "the page area did not stand still after the press on \"Оглавление\" ($back)"
[[ $pictures == 2 ]] ||
    velmora_test_fail "going back showed $pictures pictures of the page area, not the chapter and then the buttons, as a slide or a step in between would ($back)"
back_shot=$work/back.png
shot "$back_shot"
(($(page_difference "$contents" "$back_shot") <= 100)) ||
    velmora_test_fail "the press on \"Оглавление\" did not bring the table of contents back (see $back_shot)"
header_selected "$back_shot" 1 || velmora_test_fail "the header \"Оглавление\" is not drawn selected after going back"
echo "table of contents back in one change, $back_ms ms after the click"

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

#!/usr/bin/env bash
# The real Windows program under Wine, on a virtual display of its own,
# against a chapter server this script starts and whose log it reads:
#   - the window "Тальмерин" opens with a frame around a 368 x 480 client area;
#   - a click on the third chapter's button makes the server receive exactly
#     one request for /Nav3.html, and the header "Содержание" is drawn
#     selected instead of "Оглавление";
#   - a press on "Оглавление" brings the chapter buttons back;
#   - Alt+F4 ends the process with exit code 0;
#   - a second run closed with Alt+F4 while the page slides also ends with 0,
#     promptly;
#   - a third run with the keyboard alone: after Tab x3 and Enter the chapter
#     loads and the main window keeps the focus; one Tab more gives it to the
#     browser control's window (the system's focus is that window or one
#     inside it, as the probe reads it) and the focus frame is drawn around
#     the page; Ctrl+Tab brings the focus back to the main window and the
#     chapter buttons back.
# Wine on Debian has no HTML renderer, so the chapter page itself is never
# painted: the requests and the window's own drawing are what is checked.
#
#   reader-smoke-wine.sh <wine-run> <Velmora.exe> <book directory> <port> <focus-probe.exe>
#
# Exit 77 (skipped) only when a tool is missing or the chapter port cannot be
# bound; every other problem fails with its reason.
#
# Environment:
#   SCREENSHOT_DIR  when set, the table of contents is saved there as
#                   windows-contents.png and the reader page with chapter 3
#                   as windows-chapter-3.png
set -uo pipefail

wine_run=$1
exe=$2
book=$3
port=$4
probe=$5
shot_dir=${SCREENSHOT_DIR:-}

here=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=scripts/lib.sh
. "$here/../../scripts/lib.sh"
# shellcheck source=tests/lib/screen.sh
. "$here/../lib/screen.sh"

velmora_test_make_work
work=$VELMORA_TEST_WORK
server_pid=""
xvfb_pid=""
reader_pid=""
own_server=""

# The exit status decides whether the work folder stays; 0 when the test goes
# on elsewhere.
finish() {
    local status=${1:-$?}
    velmora_stop "$reader_pid" "$server_pid" "$xvfb_pid"
    [[ -n $own_server ]] && "$wine_run" wineserver -k >/dev/null 2>&1
    velmora_test_forget_work "$status"
}
trap finish EXIT

velmora_test_need Xvfb xdotool import convert compare
[[ -x $wine_run ]] || velmora_test_fail "no Wine runner at $wine_run"
[[ -f $exe ]] || velmora_test_fail "no program at $exe"
[[ -f $probe ]] || velmora_test_fail "no focus probe at $probe"

# ------------------------------------------------------------ chapter server
# The book server the installed package runs, so that its log tells exactly
# which pages were asked for.
again=()
velmora_test_serve_book "$book" "$port" "$work/server.log" server_pid READER_SMOKE_OWN_NETWORK again "$0" "$@" ||
    { finish 0; exec "${again[@]}"; }
if [[ -n ${READER_SMOKE_OWN_NETWORK:-} ]]; then
    # Wine makes its sockets in the wineserver, so the prefix's server must
    # run in this network too: the shared one (CTest runs this test alone)
    # makes way for one started here, which goes again at the end.
    "$wine_run" wineserver -k >/dev/null 2>&1
    "$wine_run" wineserver -w >/dev/null 2>&1
    "$wine_run" wineserver -p </dev/null >/dev/null 2>&1
    own_server=1
fi
requested_paths() { velmora_requested_paths "$work/server.log"; }
page_paths() { requested_paths | grep -vxF /favicon.ico; }

# ------------------------------------------------------------ virtual display
velmora_start_display 1024x768x24 xvfb_pid || velmora_test_fail "the virtual display did not start"
unset XAUTHORITY

# ------------------------------------------------------------ the program
start_reader() {
    "$wine_run" "$exe" >"$work/reader.log" 2>&1 &
    reader_pid=$!
}
window=""
wait_window() {
    screen_wait_window "$reader_pid" Тальмерин 90 window && return 0
    velmora_alive "$reader_pid" || velmora_test_fail "the program ended before its window appeared"
    velmora_test_fail "no visible window titled Тальмерин within 90 s"
}
reader_gone() { ! velmora_alive "$reader_pid"; }
# Waits for the program's end; its exit code, or 124 after the seconds given.
exit_code_within() {
    velmora_wait_for "$1" reader_gone || return 124
    wait "$reader_pid"
    local status=$?
    reader_pid=""
    return $status
}

start_reader
wait_window

# Wine draws the frame itself: the client area sits inside the window,
# below the caption, with equal borders left, right and below.
width=0 height=0
screen_window_size "$window" width height || velmora_test_fail "the window's size cannot be read"
border=$(((width - 368) / 2))
top=$((height - 480 - border))
((width > 368 && height > 480 && border >= 0 && top > border)) ||
    velmora_test_fail "the window is ${width}x${height}: no frame around a 368x480 client area"
echo "window ${width}x${height}: client area 368x480 at ($border, $top)"

# Client coordinates (units are pixels at 96 DPI) of what is looked at.
readonly STRIP_HEIGHT=28
readonly BUTTON_HEIGHT=50
readonly PAGE="368x452+$border+$((top + STRIP_HEIGHT))"
# The bottom rows of the page headers, where the selected one is marked.
readonly FIRST_HEADER="88x2+$((border + 2))+$((top + 26))"   # "Оглавление", x 0..92
readonly SECOND_HEADER="92x2+$((border + 94))+$((top + 26))" # "Содержание", x 92..188
click_at() { screen_click "$window" $((border + $1)) $((top + $2)); }

shot() { screen_shot "$window" "$1"; }
face() { screen_face "$@"; }
page_difference() { screen_difference "$1" "$2" "$PAGE"; }
# Two screenshots in a row that agree on the page area; the last one stays.
settled() { screen_wait_settled "$1" "$window" "$PAGE" "$2"; }

# ------------------------------------------------------------ table of contents
xdotool mousemove --window "$window" $((border + 184)) $((top + 470))
contents=$work/contents.png
settled 30 "$contents" || velmora_test_fail "the table of contents did not settle"
selected_face=$(face "$contents" "$FIRST_HEADER")
plain_face=$(face "$contents" "$SECOND_HEADER")
[[ -n $selected_face && $selected_face != "$plain_face" ]] ||
    velmora_test_fail "the two page headers look alike at start ($selected_face): none is drawn selected"
[[ $(requested_paths | wc -l) -eq 0 ]] || velmora_test_fail "pages requested before any chapter was chosen: $(requested_paths | tr '\n' ' ')"

# ------------------------------------------------------------ chapter 3
click_at 184 $((STRIP_HEIGHT + 2 * BUTTON_HEIGHT + BUTTON_HEIGHT / 2))
page_requested() { [[ -n $(page_paths) ]]; }
velmora_wait_for 30 page_requested || velmora_test_fail "choosing chapter 3 sent no request for /Nav3.html"
first=$(page_paths | head -n 1)
[[ $first == /Nav3.html ]] || velmora_test_fail "choosing chapter 3 requested $first, not /Nav3.html"

chapter=$work/chapter-3.png
sleep 0.5 # the slide takes 0.3 s
settled 30 "$chapter" || velmora_test_fail "the reader page did not settle after the slide"
[[ $(face "$chapter" "$SECOND_HEADER") == "$selected_face" && $(face "$chapter" "$FIRST_HEADER") == "$plain_face" ]] ||
    velmora_test_fail "the header \"Содержание\" is not drawn selected on the reader page (see $chapter)"
(($(page_difference "$contents" "$chapter") > 1000)) || velmora_test_fail "the chapter buttons are still shown after the slide (see $chapter)"

# ------------------------------------------------------------ back
click_at 45 14
back=$work/back.png
buttons_back() { shot "$back" && (($(page_difference "$contents" "$back") <= 100)); }
velmora_wait_for 10 buttons_back || velmora_test_fail "the chapter buttons did not come back after the press on \"Оглавление\" (see $back)"
[[ $(face "$back" "$FIRST_HEADER") == "$selected_face" ]] || velmora_test_fail "the header \"Оглавление\" is not drawn selected after going back"

# ------------------------------------------------------------ close
xdotool key --clearmodifiers alt+F4
exit_code_within 30
status=$?
((status != 124)) || velmora_test_fail "the program is still running 30 s after Alt+F4"
((status == 0)) || velmora_test_fail "the program exited with code $status after its window was closed"

nav3=$(requested_paths | grep -cxF /Nav3.html)
[[ $nav3 -eq 1 ]] || velmora_test_fail "the server received $nav3 requests for /Nav3.html, not exactly one"
others=$(page_paths | grep -vxF /Nav3.html | tr '\n' ' ')
[[ -z $others ]] || velmora_test_fail "pages other than chapter 3 were requested: $others"

# ------------------------------------------------------------ closed during the slide
start_reader
wait_window
settled 30 "$work/second.png" || velmora_test_fail "the second run's table of contents did not settle"
click_at 184 $((STRIP_HEIGHT + BUTTON_HEIGHT / 2))
xdotool key --clearmodifiers alt+F4
closed=$(velmora_now_ms)
exit_code_within 15
status=$?
((status != 124)) || velmora_test_fail "the program is still running 15 s after Alt+F4 during the slide"
((status == 0)) || velmora_test_fail "the program exited with code $status when closed during the slide"
echo "closed during the slide: exit code 0 after $(($(velmora_now_ms) - closed)) ms"

# ------------------------------------------------------------ the keyboard alone
start_reader
wait_window
settled 30 "$work/third.png" || velmora_test_fail "the third run's table of contents did not settle"
focus_is() { [[ $("$wine_run" "$probe" 2>/dev/null | tr -d '\r') == "$1"* ]]; }
# The focus frame: a whole column in the accent along the page area's left
# edge (the control's display, empty here, stands inside it).
readonly PAGE_LEFT_EDGE="4x400+$border+$((top + STRIP_HEIGHT + 20))"
framed() { shot "$1" && (($(screen_colour_count "$1" "$PAGE_LEFT_EDGE" "${selected_face#\#}") >= 400)); }
requested_before=$(page_paths | wc -l)
for _ in 1 2 3; do xdotool key --clearmodifiers Tab; done
xdotool key --clearmodifiers Return
third_requested() { (($(page_paths | wc -l) > requested_before)); }
velmora_wait_for 30 third_requested || velmora_test_fail "Tab x3 and Enter sent no request for a chapter"
[[ $(page_paths | tail -n 1) == /Nav3.html ]] || velmora_test_fail "Tab x3 and Enter requested $(page_paths | tail -n 1), not /Nav3.html"
sleep 1 # the slide takes 0.3 s
velmora_wait_for 10 focus_is window || velmora_test_fail "after Enter the main window does not have the focus: $("$wine_run" "$probe")"
xdotool key --clearmodifiers Tab
velmora_wait_for 10 focus_is control || velmora_test_fail "after Tab the browser control's window does not have the focus: $("$wine_run" "$probe")"
echo "after Tab: $("$wine_run" "$probe" | tr -d '\r')"
velmora_wait_for 10 framed "$work/framed.png" || velmora_test_fail "no focus frame around the page after Tab (see $work/framed.png)"
xdotool key --clearmodifiers ctrl+Tab
velmora_wait_for 10 focus_is window || velmora_test_fail "after Ctrl+Tab the main window does not have the focus: $("$wine_run" "$probe")"
velmora_wait_for 10 buttons_back || velmora_test_fail "Ctrl+Tab did not bring the chapter buttons back (see $back)"
xdotool key --clearmodifiers alt+F4
exit_code_within 30
status=$?
((status == 0)) || velmora_test_fail "the keyboard run ended with code $status after Alt+F4"
echo "keyboard alone: the focus went into the browser control's window and back"

if [[ -n $shot_dir ]]; then
    if ! mkdir -p "$shot_dir" || ! cp "$contents" "$shot_dir/windows-contents.png" ||
        ! cp "$chapter" "$shot_dir/windows-chapter-3.png"; then
        velmora_test_fail "cannot save screenshots in $shot_dir"
    fi
fi
echo "Windows reader smoke test under Wine passed"

#!/usr/bin/env bash
# The real reader as a native Wayland client: weston runs nested on the
# test's virtual X display (its X11 backend), so that xdotool can drive the
# compositor's input, and the reader runs with GDK_BACKEND=wayland and no X
# display at all:
#   - the table of contents appears with a 368 x 480 client area;
#   - a click on the third chapter's button makes the chapter server
#     receive exactly one request for /Nav3.html, and the reader page shows
#     the chapter under the header "Содержание" drawn selected;
#   - a press on "Оглавление" brings the chapter buttons back;
#   - the close button of the window's title bar ends the process with exit
#     code 0;
#   - on an output of scale 2 with GDK_SCALE=2 the client area is 736 x 960,
#     drawn at that scale.
# Wayland reports no window positions, so the window is found on the
# compositor's output by its own drawing (the selected header's underline).
#
#   wayland-smoke.sh <reader> <book directory> <port>
#
# Runs on an X display (scripts/with-display.sh gives it a virtual one).
# Exit 77 (skipped) only when a tool is missing or the chapter port cannot be
# bound; every other problem fails with its reason.
set -uo pipefail

reader=$1
book=$2
port=$3

here=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=scripts/lib.sh
. "$here/../../scripts/lib.sh"
# shellcheck source=tests/lib/screen.sh
. "$here/../lib/screen.sh"

velmora_test_make_work
work=$VELMORA_TEST_WORK
server_pid=""
weston_pid=""
reader_pid=""
finish() {
    local status=${1:-$?}
    velmora_stop "$reader_pid" "$weston_pid" "$server_pid"
    [[ -n ${runtime:-} ]] && rm -rf "$runtime"
    velmora_test_forget_work "$status"
}
trap finish EXIT

velmora_test_need weston xdotool xwininfo import convert systemd-socket-activate /bin/busybox
velmora_test_need_display

# ------------------------------------------------------------ chapter server
again=()
velmora_test_serve_book "$book" "$port" "$work/server.log" server_pid WAYLAND_SMOKE_OWN_NETWORK again "$0" "$@" ||
    { finish 0; exec "${again[@]}"; }
requested_paths() { velmora_requested_paths "$work/server.log"; }
page_paths() { requested_paths | grep -vxF /favicon.ico; }

# ------------------------------------------------------------ the compositor
# A fresh runtime folder, private as the session's would be; weston's
# socket lives in it. Not under /tmp: the engine's sandbox gives its page
# processes a /tmp (and /var/tmp) of their own, where they would not find
# the compositor. A session's runtime folder is under /run.
runtime=""
for base in "/run/user/$(id -u)" /run "$HOME"; do
    [[ -d $base && -w $base ]] || continue
    runtime=$(mktemp -d "$base/velmora-wayland.XXXXXX") && break
done
[[ -n $runtime ]] || velmora_test_skip "no place for a runtime folder outside /tmp"
chmod 0700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
# A plain background, no panel: only the reader's window is drawn on it.
cat >"$work/weston.ini" <<'EOF'
[core]
idle-time=0
[shell]
background-color=0xff202020
panel-position=none
EOF
weston_window=""
weston_socket=""
# start_weston SCALE: a compositor whose one output has that scale, and the
# X window it shows the output in.
start_weston() {
    local scale=$1
    weston_socket=velmora-$scale
    weston --backend=x11-backend.so --config="$work/weston.ini" --socket="$weston_socket" \
        --width=900 --height=700 --scale="$scale" >"$work/weston-$scale.log" 2>&1 &
    weston_pid=$!
    compositor_ready() {
        [[ -S $XDG_RUNTIME_DIR/$weston_socket ]] &&
            weston_window=$(xwininfo -root -tree | awk '/"Weston Compositor/ { print $1; exit }') &&
            [[ -n $weston_window ]]
    }
    velmora_wait_for 30 compositor_ready || velmora_test_fail "weston did not start (scale $scale)"
}
stop_weston() {
    velmora_stop "$weston_pid"
    weston_pid=""
}

# ------------------------------------------------------------ the reader
readonly ACCENT=0067C0 # the selected header's underline
readonly PAGE_BACKGROUND=FBFBF8
readonly BUTTON_FACE=FDFDFD
start_reader() {
    mkdir -p "$runtime/cache" "$runtime/config"
    env -u DISPLAY GDK_BACKEND=wayland WAYLAND_DISPLAY="$weston_socket" GDK_SCALE="$1" \
        WEBKIT_DISABLE_COMPOSITING_MODE=1 XDG_CACHE_HOME="$runtime/cache" XDG_CONFIG_HOME="$runtime/config" \
        "$reader" >>"$work/reader.log" 2>&1 &
    reader_pid=$!
}
# A GTK critical of the reader's own process is a bug of the backend. (Not
# made fatal through G_DEBUG as on X11: the engine's page processes inherit
# it, and on Wayland they warn and complain about the display they are
# not meant to open.)
no_criticals() {
    local criticals
    criticals=$(grep -E "^\(Velmora:[0-9]+\): .*CRITICAL" "$work/reader.log")
    [[ -z $criticals ]] || velmora_test_fail "the reader reported criticals: $criticals"
}
reader_gone() { ! velmora_alive "$reader_pid"; }
shot() { screen_shot "$weston_window" "$1"; }

# underline FILE: the bounding box of the underline's colour on the output,
# as "W H X Y"; fails when there is none.
underline() {
    local box
    box=$(convert "$1" -alpha off -fill black +opaque "#$ACCENT" -format %@ info: 2>/dev/null) || return 1
    [[ $box =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || return 1
    ((BASH_REMATCH[1] > 1)) || return 1
    echo "${BASH_REMATCH[1]} ${BASH_REMATCH[2]} ${BASH_REMATCH[3]} ${BASH_REMATCH[4]}"
}
# How many pixels of a run of the output, from a point rightwards or
# downwards, have a colour.
count_in() { screen_colour_count "$1" "$2" "$3"; }

# find_client FILE SCALE: waits until the reader's table of contents is on
# the output and settled, and sets left, top (output pixels) from the first
# header's underline: 92 x 2 units whose bottom edge is the header strip's,
# 28 units below the client area's top.
left=0 top=0
find_client() {
    local file=$1 scale=$2 box="" previous=""
    contents_shown() {
        velmora_alive "$reader_pid" || return 0
        shot "$file" || return 1
        box=$(underline "$file") || return 1
        [[ $box == "$previous" ]] && return 0
        previous=$box
        return 1
    }
    velmora_wait_for 60 contents_shown || velmora_test_fail "no table of contents on the compositor's output (see $file)"
    velmora_alive "$reader_pid" || velmora_test_fail "the reader ended before its window appeared"
    local w h
    read -r w h left top <<<"$box"
    ((w == 92 * scale && h == 2 * scale)) ||
        velmora_test_fail "the selected header's underline is ${w}x${h}, not $((92 * scale))x$((2 * scale)) (see $file)"
    ((top -= 26 * scale))
}
# client_size FILE SCALE OUT_W OUT_H: the client area's size, read from the
# white page below the chapter buttons (which end 228 units down): its row at
# 300 units and its column from 240 units down end where the client area ends.
client_size() {
    local _file=$1 _scale=$2 _width _height
    _width=$(count_in "$_file" "4000x1+0+$((top + 300 * _scale))" FFFFFF)
    _height=$(count_in "$_file" "1x4000+$((left + 2 * _scale))+$((top + 240 * _scale))" FFFFFF)
    velmora_set_result "$3" "$_width"
    velmora_set_result "$4" $((_height + 240 * _scale))
}
# press_at X Y: a click at a point of the output. The compositor must have
# seen the pointer arrive before the button, or it drops the press.
press_at() {
    xdotool mousemove --window "$weston_window" "$1" "$2"
    sleep 0.3
    xdotool click 1
}
# The compositor draws the pointer into the output: it waits at the top
# edge, above every client area (there is a title bar in between).
park_pointer() { xdotool mousemove --window "$weston_window" 10 0; }
# click X Y: a click at a point of the client area (scale 1).
click() {
    press_at $((left + $1)) $((top + $2))
    park_pointer
}

# ------------------------------------------------------------ scale 1
start_weston 1
park_pointer
start_reader 1
contents=$work/contents.png
find_client "$contents" 1
width=0 height=0
client_size "$contents" 1 width height
[[ $width -eq 368 && $height -eq 480 ]] || velmora_test_fail "client area is ${width}x${height}, not 368x480 (see $contents)"
(($(count_in "$contents" "368x200+$left+$((top + 28))" $BUTTON_FACE) > 50000)) ||
    velmora_test_fail "the chapter buttons are not drawn (see $contents)"
[[ -z $(requested_paths) ]] || velmora_test_fail "pages requested before any chapter was chosen: $(requested_paths | tr '\n' ' ')"
echo "table of contents at ($left, $top) of the output, client area ${width}x${height}"

# Chapter 3.
clicked_ms=$(velmora_now_ms)
click 184 $((28 + 2 * 50 + 25))
page_requested() { [[ -n $(page_paths) ]]; }
velmora_wait_for 20 page_requested || {
    shot "$work/after-click.png"
    velmora_test_fail "choosing chapter 3 sent no request for /Nav3.html (see $work/after-click.png)"
}
echo "chapter 3 requested $(($(velmora_now_ms) - clicked_ms)) ms after the click"
first=$(page_paths | head -n 1)
[[ $first == /Nav3.html ]] || velmora_test_fail "choosing chapter 3 requested $first, not /Nav3.html"
chapter=$work/chapter-3.png
readonly PAGE="368x452+$left+$((top + 28))"
shows_chapter() {
    (($(count_in "$1" "$PAGE" $PAGE_BACKGROUND) > 368 * 452 * 6 / 10)) &&
        (($(count_in "$1" "$PAGE" $BUTTON_FACE) == 0))
}
# Header n (1 or 2) carries the underline across its width, the other none
# of it (a focus ring may add the accent elsewhere).
header_selected() {
    local first="92x2+$left+$((top + 26))" second="96x2+$((left + 92))+$((top + 26))" on off width
    if [[ $2 -eq 1 ]]; then on=$first off=$second width=92; else on=$second off=$first width=96; fi
    (($(count_in "$1" "$on" $ACCENT) == width * 2)) && (($(count_in "$1" "$off" $ACCENT) == 0))
}
settled_chapter() { shot "$chapter" && shows_chapter "$chapter" && header_selected "$chapter" 2; }
velmora_wait_for 30 settled_chapter || velmora_test_fail "the reader page does not show chapter 3 under a selected \"Содержание\" (see $chapter)"

# Back to the table of contents.
click 45 14
back=$work/back.png
buttons_back() {
    shot "$back" && (($(count_in "$back" "368x200+$left+$((top + 28))" $BUTTON_FACE) > 50000)) &&
        header_selected "$back" 1
}
velmora_wait_for 10 buttons_back || velmora_test_fail "the chapter buttons did not come back after the press on \"Оглавление\" (see $back)"

# The close button: the dark cross at the right end of the title bar, which
# GTK draws above the client area; looked for inside the bar, away from its
# edges and the title.
close_window() {
    local file=$1 scale=$2 box w h x y
    local region_left=$((left + 324 * scale)) region_top=$((top - 34 * scale))
    box=$(convert "$file" -alpha off -crop "$((40 * scale))x$((30 * scale))+$region_left+$region_top" +repage \
        -colorspace gray -threshold 50% -negate -format %@ info: 2>/dev/null)
    [[ $box =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || velmora_test_fail "no close button above the client area (see $file)"
    w=${BASH_REMATCH[1]} h=${BASH_REMATCH[2]} x=${BASH_REMATCH[3]} y=${BASH_REMATCH[4]}
    ((w > 2 && w < 20 * scale && h > 2 && h < 20 * scale)) ||
        velmora_test_fail "no close button above the client area, only a dark ${w}x${h} patch (see $file)"
    press_at $((region_left + x + w / 2)) $((region_top + y + h / 2))
}
# closes_with_zero FILE SCALE: the close button of the window in the
# screenshot ends the reader with exit code 0 and no criticals.
closes_with_zero() {
    local status
    close_window "$1" "$2"
    velmora_wait_for 15 reader_gone ||
        velmora_test_fail "at scale $2 the reader is still running 15 s after its close button was pressed"
    wait "$reader_pid"
    status=$?
    reader_pid=""
    ((status == 0)) || velmora_test_fail "at scale $2 the reader exited with code $status after its window was closed"
    no_criticals
}
shot "$work/before-close.png"
closes_with_zero "$work/before-close.png" 1
nav3=$(requested_paths | grep -cxF /Nav3.html)
[[ $nav3 -eq 1 ]] || velmora_test_fail "the server received $nav3 requests for /Nav3.html, not exactly one"
stop_weston

# ------------------------------------------------------------ scale 2
start_weston 2
park_pointer
start_reader 2
contents2=$work/contents-2.png
find_client "$contents2" 2
client_size "$contents2" 2 width height
[[ $width -eq 736 && $height -eq 960 ]] || velmora_test_fail "at scale 2 the client area is ${width}x${height}, not 736x960 (see $contents2)"
echo "at scale 2: client area ${width}x${height}"
closes_with_zero "$contents2" 2

if [[ -n ${SCREENSHOT_DIR:-} ]]; then
    if ! mkdir -p "$SCREENSHOT_DIR" || ! cp "$contents" "$chapter" "$contents2" "$SCREENSHOT_DIR"/; then
        velmora_test_fail "cannot save screenshots in $SCREENSHOT_DIR"
    fi
fi
echo "Wayland smoke test passed"

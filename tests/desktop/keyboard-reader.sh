#!/usr/bin/env bash
# The real reader with the keyboard alone: keys go to it through XTEST
# (xdotool key) on a virtual display with a window manager, and the mouse is
# never used. For every chapter, from the table of contents:
#   - Tab as many times as the chapter's number and Enter open the chapter;
#   - one Tab moves the focus into the page, which then shows the focus frame;
#   - Page Down scrolls the chapter's heading out of sight, Space scrolls on,
#     End brings the links at its foot into view (its last paragraph is read);
#   - Ctrl+Tab brings the chapter buttons back, with the header "Оглавление"
#     drawn selected.
# The scrolling is read from screenshots of the page area.
#
#   keyboard-reader.sh <reader> <book directory> <port>
#
# Runs on a display (scripts/with-display.sh gives it a virtual one) and
# starts its own window manager and chapter server. Exit 77 (skipped) only
# when a tool is missing or the chapter port cannot be bound; every other
# problem fails with its reason.
#
# Environment:
#   SCREENSHOT_DIR  when set, the third chapter's screenshots are saved there
#                   (keyboard-chapter-3-*.png)
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

finish() {
    local status=${1:-$?}
    velmora_stop "$reader_pid" "$server_pid" "$wm_pid"
    velmora_test_forget_work "$status"
}
trap finish EXIT

velmora_test_need xdotool import convert openbox xprop systemd-socket-activate /bin/busybox
velmora_test_need_display

again=()
velmora_test_serve_book "$book" "$port" "$work/server.log" server_pid KEYBOARD_READER_OWN_NETWORK again "$0" "$@" ||
    { finish 0; exec "${again[@]}"; }
velmora_start_window_manager "$work/openbox.log" wm_pid || velmora_test_fail "the window manager did not start"

reader_start "$reader" "$work" reader_pid || velmora_test_fail "the reader cannot be started"
window=""
reader_wait_window "$reader_pid" window
# The window manager gives the window the keyboard; no pointer is involved.
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || velmora_test_fail "the window cannot be activated"

# ------------------------------------------------------------ looking at the window
# Client coordinates in units, which are pixels at scale 1.
readonly STRIP_HEIGHT=28
readonly PAGE="368x452+0+$STRIP_HEIGHT"
readonly PAGE_TOP_ROWS="368x2+0+$STRIP_HEIGHT" # where the focus frame's top edge lies
readonly PAGE_LEFT_COLUMNS="2x452+0+$STRIP_HEIGHT"
readonly FIRST_HEADER="92x2+0+26"
readonly ACCENT=0067C0 # selected header, focus ring and frame
readonly BUTTON_FACE=FDFDFD
readonly PAGE_BACKGROUND=FBFBF8
readonly PAGE_HEADING=123A5C    # the chapter's title
readonly LINK=0000EE            # a link not followed yet
readonly VISITED_LINK=551A8B    # a link to a chapter read before

count() { screen_colour_count "$@"; }
shows_buttons() { (($(count "$1" "$PAGE" $BUTTON_FACE) > 50000)); }
shows_page() { (($(count "$1" "$PAGE" $PAGE_BACKGROUND) > 368 * 452 / 2)); }
shows_title() { shows_page "$1" && (($(count "$1" "$PAGE" $PAGE_HEADING) > 300)); }
# The focus frame: the page area's outer two rows and columns in the accent.
shows_frame() {
    shows_page "$1" && (($(count "$1" "$PAGE_TOP_ROWS" $ACCENT) >= 360)) &&
        (($(count "$1" "$PAGE_LEFT_COLUMNS" $ACCENT) >= 440))
}
scrolled_past_title() { shows_frame "$1" && (($(count "$1" "$PAGE" $PAGE_HEADING) == 0)); }
shows_links() {
    shows_frame "$1" && (($(count "$1" "$PAGE" $LINK) + $(count "$1" "$PAGE" $VISITED_LINK) > 30))
}
contents_back() {
    shows_buttons "$1" && (($(count "$1" "$FIRST_HEADER" $ACCENT) == 184))
}

key() { xdotool key --clearmodifiers "$@"; }
# settled NAME TEST: waits until the page area stands still and TEST accepts
# it; the screenshot stays in $work/NAME.png.
settled() { screen_wait_settled 20 "$window" "$PAGE" "$work/$1.png" "$2"; }

settled contents contents_back || velmora_test_fail "the table of contents did not appear (see $work/contents.png)"

# ------------------------------------------------------------ every chapter
# chapter  Tabs from the table of contents to its button
chapters=(
    "1 1"
    "2 2"
    "3 3"
    "4 4"
)
for row in "${chapters[@]}"; do
    read -r chapter tabs <<<"$row"
    shot=chapter-$chapter
    for ((i = 0; i < tabs; i++)); do key Tab; done
    key Return
    settled "$shot-open" shows_title || velmora_test_fail "chapter $chapter did not open by Tab x$tabs and Enter (see $work/$shot-open.png)"
    shows_frame "$work/$shot-open.png" && velmora_test_fail "chapter $chapter: the page shows the focus frame before any Tab"

    key Tab
    settled "$shot-focused" shows_frame || velmora_test_fail "chapter $chapter: Tab did not move the focus into the page (see $work/$shot-focused.png)"
    shows_title "$work/$shot-focused.png" || velmora_test_fail "chapter $chapter: Tab alone scrolled the page (see $work/$shot-focused.png)"

    key Next
    settled "$shot-page-down" scrolled_past_title ||
        velmora_test_fail "chapter $chapter: Page Down did not scroll the title away (see $work/$shot-page-down.png)"
    key space
    moved_on() {
        shows_frame "$1" && (($(screen_difference "$work/$shot-page-down.png" "$1" "$PAGE") > 2000))
    }
    settled "$shot-space" moved_on || velmora_test_fail "chapter $chapter: Space did not scroll on (see $work/$shot-space.png)"
    key End
    settled "$shot-end" shows_links || velmora_test_fail "chapter $chapter: End did not show the chapter's foot (see $work/$shot-end.png)"

    key ctrl+Tab
    settled "$shot-back" contents_back ||
        velmora_test_fail "chapter $chapter: Ctrl+Tab did not bring the chapter buttons back (see $work/$shot-back.png)"
    echo "chapter $chapter: opened, focused, scrolled by Page Down, Space and End, left by Ctrl+Tab"
done

velmora_alive "$reader_pid" || velmora_test_fail "the reader ended during the run"
paths=$(velmora_requested_paths "$work/server.log" | grep -vxF /favicon.ico | tr '\n' ' ')
[[ $paths == "/Nav1.html /Nav2.html /Nav3.html /Nav4.html " ]] ||
    velmora_test_fail "the server was asked for \"$paths\", not each chapter once in turn"

if [[ -n $shot_dir ]]; then
    mkdir -p "$shot_dir" || velmora_test_fail "cannot make $shot_dir"
    for name in open focused page-down space end back; do
        cp "$work/chapter-3-$name.png" "$shot_dir/keyboard-chapter-3-$name.png" ||
            velmora_test_fail "cannot save screenshots in $shot_dir"
    done
fi
echo "keyboard reader test passed"

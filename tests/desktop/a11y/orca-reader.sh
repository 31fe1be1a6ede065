#!/usr/bin/env bash
# The real reader with a real screen reader: Orca runs on the test's own
# accessibility bus with speech and braille off and writes what it would
# speak to its debug file; the keyboard alone (XTEST keys through xdotool,
# no mouse) opens the third chapter, moves into its page and reads its first
# lines and its last paragraph, as a desktop with its screen reader switched
# on. The spoken sequence must give each chapter button with its role, the
# reader's page tab after Enter, and the chapter's own text, first and last
# paragraph, once the focus is in the page.
#
#   orca-reader.sh <reader> <book directory> <port>
#
# Starts its own virtual display, window manager, session bus and
# accessibility bus. Exit 77 (skipped) only when a tool is missing or the
# port cannot be bound. ORCA_SPOKEN=<file> keeps the spoken lines there,
# ORCA_DEBUG=<file> all that Orca logged.
set -uo pipefail

reader=$(realpath "$1")
book=$2
port=$3
here=$(cd "$(dirname "$0")" && pwd)
VELMORA_SCRIPT="orca-reader"
# shellcheck source=scripts/lib.sh
. "$here/../../../scripts/lib.sh"

velmora_test_need Xvfb openbox dbus-run-session xdotool orca
launcher=""
velmora_accessibility_bus_launcher launcher ||
    velmora_test_skip "the accessibility bus launcher (at-spi2-core) is not installed"

velmora_test_make_work
work=$VELMORA_TEST_WORK
server_pid=""
xvfb_pid=""
wm_pid=""
# The exit status decides whether the work folder stays; 0 when the test goes
# on elsewhere.
finish() {
    local status=${1:-$?}
    velmora_stop "$server_pid" "$wm_pid" "$xvfb_pid"
    velmora_test_forget_work "$status"
}
trap finish EXIT

# ------------------------------------------------------------ chapter server
again=()
velmora_test_serve_book "$book" "$port" "$work/server.log" server_pid ORCA_OWN_NETWORK again "$0" "$@" ||
    { finish 0; exec "${again[@]}"; }

# ------------------------------------------------------------ the session
# Orca and the window manager keep settings, caches and state in the home
# folder: a fresh one each run, before either starts.
mkdir -p "$work/home" "$work/cache" "$work/config" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
export HOME=$work/home XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export XDG_RUNTIME_DIR=$work/runtime

# ------------------------------------------------------------ display
velmora_start_display 1024x768x24 xvfb_pid || velmora_test_fail "the virtual display did not start"
velmora_start_window_manager "$work/wm.log" wm_pid || velmora_test_fail "the window manager did not start"

export WEBKIT_DISABLE_COMPOSITING_MODE=1
unset GDK_SCALE GDK_DPI_SCALE NO_AT_BRIDGE
# shellcheck disable=SC2016  # expanded by the inner shell
dbus-run-session -- bash -c '
    work=$1 reader=$2 launcher=$3
    "$launcher" --launch-immediately >"$work/launcher.log" 2>&1 &
    launcher_pid=$!
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true \
        >/dev/null 2>&1
    # What a desktop sets when its user switches the screen reader on.
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:ScreenReaderEnabled variant:boolean:true \
        >/dev/null 2>&1
    orca --replace -d speech -d braille -d braille-monitor --debug-file "$work/orca-debug.txt" \
        >"$work/orca.log" 2>&1 &
    orca_pid=$!
    # Orca registers its listeners on the bus before any window it should hear.
    sleep 5
    "$reader" >"$work/reader.log" 2>&1 &
    reader_pid=$!
    window=""
    for _ in $(seq 1 300); do
        window=$(xdotool search --onlyvisible --name "^Тальмерин$" 2>/dev/null | head -n 1)
        [[ -n $window ]] && break
        sleep 0.1
    done
    rc=0
    if [[ -z $window ]]; then
        echo "the reader window did not appear"
        rc=1
    else
        xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
        sleep 2
        press() { xdotool key --clearmodifiers "$@"; sleep 1.5; }
        press Tab
        press Tab
        press Tab
        press Tab
        press shift+Tab
        press Return
        sleep 4
        press Tab
        sleep 2
        press Down
        press Down
        press Down
        press ctrl+End
        press Up
        press Up
        kill -0 "$reader_pid" 2>/dev/null || { echo "the reader is gone"; rc=1; }
        kill -0 "$orca_pid" 2>/dev/null || { echo "orca is gone"; rc=1; }
    fi
    kill "$reader_pid" "$orca_pid" 2>/dev/null
    sleep 1
    # Orca may take its time over a polite end.
    kill -KILL "$orca_pid" 2>/dev/null
    kill "$launcher_pid" 2>/dev/null
    wait
    exit $rc
' orca "$work" "$reader" "$launcher"
rc=$?
# One utterance a line, without the voice settings Orca writes after it.
grep -a "SPEECH OUTPUT: '" "$work/orca-debug.txt" 2>/dev/null |
    sed -E "s/.*SPEECH OUTPUT: '//; s/' ?(\{.*\}|\[.*\]|None)?\$//" >"$work/spoken.txt"
[[ -n ${ORCA_SPOKEN:-} ]] && cp "$work/spoken.txt" "$ORCA_SPOKEN"
[[ -n ${ORCA_DEBUG:-} ]] && cp "$work/orca-debug.txt" "$ORCA_DEBUG"
echo "--- spoken ---"
cat "$work/spoken.txt"
echo "---"
[[ $rc -eq 0 ]] || velmora_test_fail "the session failed (exit $rc)"

# Each chapter button is spoken with its role, in the order Tab meets them.
expected=(
    "Зарождение и развитие мореплавания push button."
    "Современные способы навигации push button."
    "Радионавигационные средства определения места в море push button."
    "Картографические проекции push button."
)
at=0
while IFS= read -r line; do
    [[ $at -lt ${#expected[@]} && $line == "${expected[$at]}" ]] && at=$((at + 1))
done <"$work/spoken.txt"
[[ $at -eq ${#expected[@]} ]] || velmora_test_fail "Orca did not speak \"${expected[$at]}\" in its place"
echo "the screen reader spoke the four chapters with their role"

# After Enter the reader's page tab, then, once Tab has put the focus in the
# page, the chapter's opening lines and its last paragraph.
after_enter=$(sed -n '/^return *$/,$p' "$work/spoken.txt")
grep -qx "Содержание page tab\." <<<"$after_enter" ||
    velmora_test_fail "Orca did not speak the reader's page tab after Enter"
in_page=$(sed -n '/^tab *$/,$p' <<<"$after_enter")
grep -q "Глава 3\. Как радиоволны" <<<"$in_page" ||
    velmora_test_fail "Orca did not read the chapter's opening lines in the page"
grep -q "наблюдениями\." <<<"$in_page" ||
    velmora_test_fail "Orca did not read the chapter's last paragraph"
echo "the screen reader spoke the reader's page tab and read the chapter from its first to its last paragraph"

#!/usr/bin/env bash
# End-to-end run of the reader on a virtual display with a window manager:
# the window opens where the manager puts it with its title, a chapter button
# loads that chapter from the chapter server and the reader page shows it, the
# header brings the table of contents back, and closing the window through the
# manager ends the process with code 0.
#
#   reader-smoke.sh <reader> <book directory> <port>
#
# Runs inside xvfb-run. Exit 77 (skipped) when a tool is missing or the chapter
# port cannot be served.
set -uo pipefail

reader=$1
book=$2
port=$3
work=$(mktemp -d)
server_pid=""
wm_pid=""
reader_pid=""

finish() {
    [[ -n $reader_pid ]] && kill "$reader_pid" 2>/dev/null
    [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null
    [[ -n $wm_pid ]] && kill "$wm_pid" 2>/dev/null
    rm -rf "$work"
}
trap finish EXIT
skip() {
    echo "skipped: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    [[ -f $work/server.log ]] && sed 's/^/server: /' "$work/server.log"
    exit 1
}

for tool in xdotool import openbox python3; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[[ -n ${DISPLAY:-} ]] || skip "no display"

serves_book() {
    python3 -c "import sys, urllib.request; sys.exit(0 if urllib.request.urlopen('http://127.0.0.1:$port/Nav2.html', timeout=2).status == 200 else 1)" 2>/dev/null
}
python3 -u -m http.server --bind 127.0.0.1 "$port" --directory "$book" >"$work/server.log" 2>&1 &
server_pid=$!
sleep 0.5
own_server=1
if ! kill -0 "$server_pid" 2>/dev/null; then
    server_pid=""
    # A chapter server that is already running will do, but then its log
    # cannot be read: only the page on screen tells that the chapter came.
    serves_book || skip "cannot serve on 127.0.0.1:$port ($(tail -n 1 "$work/server.log"))"
    own_server=0
fi

openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 0.8

export WEBKIT_DISABLE_COMPOSITING_MODE=${WEBKIT_DISABLE_COMPOSITING_MODE:-1}
# A GTK critical is a bug of the backend; let it end the run.
G_DEBUG=${G_DEBUG:-fatal-criticals} "$reader" &
reader_pid=$!

window=""
for _ in $(seq 1 100); do
    window=$(xdotool search --onlyvisible --name '^Тальмерин$' 2>/dev/null | head -n 1)
    [[ -n $window ]] && break
    kill -0 "$reader_pid" 2>/dev/null || fail "the reader ended before its window appeared"
    sleep 0.1
done
[[ -n $window ]] || fail "no window titled Тальмерин"
sleep 1

# Pixel of the window at client coordinates (units at 96 DPI), as #rrggbb.
pixel() {
    import -window "$window" "$work/shot.png" 2>/dev/null
    convert "$work/shot.png" -format "%[hex:u.p{$1,$2}]" info: 2>/dev/null | cut -c1-6 | tr "A-F" "a-f"
}

if command -v xprop >/dev/null; then
    xprop -id "$window" WM_CLASS | grep -q '"Velmora"' || fail "window class is not Velmora: $(xprop -id "$window" WM_CLASS)"
    # The program icon, rendered from its SVG beside the executable.
    xprop -id "$window" _NET_WM_ICON | grep -q "Icon (16 x 16)" || fail "the window carries no 16x16 program icon"
fi

eval "$(xdotool getwindowgeometry --shell "$window")"
[[ $WIDTH -eq 368 && $HEIGHT -eq 480 ]] || fail "client area is ${WIDTH}x${HEIGHT}, not 368x480"

contents=$(pixel 184 400)
xdotool mousemove --window "$window" 184 103 click 1   # the second chapter's button
if [[ $own_server -eq 1 ]]; then
    for _ in $(seq 1 50); do
        grep -q "GET /Nav2.html" "$work/server.log" && break
        sleep 0.1
    done
    grep -q "GET /Nav2.html" "$work/server.log" || fail "choosing chapter 2 requested no /Nav2.html"
fi
sleep 1.5
page=$(pixel 184 400)
[[ $page == fbfbf8 ]] || fail "the reader page does not show the chapter (pixel $page)"

xdotool mousemove --window "$window" 45 14 click 1   # header "Оглавление"
sleep 0.6
back=$(pixel 184 400)
[[ $back == "$contents" ]] || fail "the table of contents did not come back (pixel $back, expected $contents)"

xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
for _ in $(seq 1 50); do
    kill -0 "$reader_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$reader_pid" 2>/dev/null; then fail "the reader is still running after its window was closed"; fi
wait "$reader_pid"
status=$?
reader_pid=""
[[ $status -eq 0 ]] || fail "the reader exited with code $status"
echo "reader smoke test passed"

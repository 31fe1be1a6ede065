#!/usr/bin/env bash
# Builds the reader, serves the book's pages on this machine and starts the
# reader against them. Without a display it runs the reader on a virtual one,
# opens two chapters and leaves screenshots in a folder it names.
#
#   scripts/run-reader.sh
#
# Settings for this script (the reader itself takes none):
#   CHAPTER_HOST  host[:port] built into the reader (default localhost, port 80)
#   BUILD_DIR     build directory (default build-release in the checkout)
#   SHOT_DIR      screenshot folder when there is no display
#                 (default: screenshots/<date-time> in the build directory)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build-release}
CHAPTER_HOST=${CHAPTER_HOST:-localhost}
SERVER_PID=""
READER_PID=""

say() { printf '%s\n' "run-reader: $*" >&2; }
fail() {
    say "$*"
    exit 1
}

# shellcheck disable=SC2317  # runs from the trap
cleanup() {
    if [[ -n $READER_PID ]] && kill -0 "$READER_PID" 2>/dev/null; then kill "$READER_PID" 2>/dev/null || true; fi
    if [[ -n $SERVER_PID ]] && kill -0 "$SERVER_PID" 2>/dev/null; then
        kill "$SERVER_PID" 2>/dev/null || true
        wait "$SERVER_PID" 2>/dev/null || true
        say "chapter server stopped"
    fi
}

# ---------------------------------------------------------------- the X session part
# Runs inside xvfb-run: start the reader, choose chapters, take screenshots.
if [[ ${1:-} == --inside-virtual-display ]]; then
    reader=$2
    shots=$3
    "$reader" &
    READER_PID=$!
    trap 'kill "$READER_PID" 2>/dev/null || true' EXIT
    window=""
    for _ in $(seq 1 100); do
        window=$(xdotool search --onlyvisible --name '^Тальмерин$' 2>/dev/null | head -n 1 || true)
        [[ -n $window ]] && break
        kill -0 "$READER_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [[ -z $window ]]; then
        import -window root "$shots/00-no-window.png" || true
        echo "the reader's window did not appear" >&2
        exit 1
    fi
    sleep 1
    import -window root "$shots/01-contents.png"
    # Chapter buttons lie one under another below the page headers; places
    # in units, times the display's scale factor.
    s=${GDK_SCALE:-1}
    chapter_y=(53 103 153 203)
    xdotool mousemove --window "$window" $((184 * s)) $((chapter_y[0] * s)) click 1
    sleep 2.5
    import -window root "$shots/02-chapter-1.png"
    xdotool mousemove --window "$window" $((45 * s)) $((14 * s)) click 1   # header "Оглавление"
    sleep 0.8
    import -window root "$shots/03-back-to-contents.png"
    xdotool mousemove --window "$window" $((184 * s)) $((chapter_y[3] * s)) click 1
    sleep 2.5
    import -window root "$shots/04-chapter-4.png"
    exit 0
fi

trap cleanup EXIT INT TERM

# ---------------------------------------------------------------- dependencies
as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        return 1
    fi
}

headless=0
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then headless=1; fi

if [[ -x $ROOT/scripts/setup-deps.sh ]]; then
    say "installing dependencies (scripts/setup-deps.sh)"
    "$ROOT/scripts/setup-deps.sh" || say "setup-deps.sh did not finish; checking what the reader needs"
fi

missing=()
need_tool() { command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
need_tool cmake cmake
need_tool ninja ninja-build
need_tool c++ g++
need_tool pkg-config pkg-config
need_tool python3 python3
need_tool rsvg-convert librsvg2-bin
pkg-config --exists gtk+-3.0 2>/dev/null || missing+=(libgtk-3-dev)
pkg-config --exists webkit2gtk-4.1 2>/dev/null || missing+=(libwebkit2gtk-4.1-dev)
if [[ $headless -eq 1 ]]; then
    need_tool xvfb-run xvfb
    need_tool xdotool xdotool
    need_tool import imagemagick
fi
if [[ ${#missing[@]} -gt 0 ]]; then
    say "missing packages: ${missing[*]}"
    if command -v apt-get >/dev/null 2>&1 && as_root true 2>/dev/null; then
        as_root apt-get update
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    else
        fail "install them (as root: apt-get install ${missing[*]}) and run this script again"
    fi
fi

# ---------------------------------------------------------------- build
say "building the reader in $BUILD_DIR (chapter host: $CHAPTER_HOST)"
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF \
    -DCHAPTER_HOST="$CHAPTER_HOST" >/dev/null
cmake --build "$BUILD_DIR"
READER=$BUILD_DIR/Velmora
[[ -x $READER ]] || fail "the build produced no $READER"

# ---------------------------------------------------------------- chapter server
host=${CHAPTER_HOST%%:*}
port=80
if [[ $CHAPTER_HOST == *:* ]]; then port=${CHAPTER_HOST##*:}; fi

serves_book() {
    python3 - "$port" <<'EOF' 2>/dev/null
import sys, urllib.request
try:
    with urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/Nav1.html", timeout=2) as r:
        sys.exit(0 if r.status == 200 else 1)
except Exception:
    sys.exit(1)
EOF
}

case $host in
localhost | 127.0.0.1)
    server_log=$(mktemp)
    python3 -m http.server --bind 127.0.0.1 "$port" --directory "$ROOT/book" >"$server_log" 2>&1 &
    SERVER_PID=$!
    for _ in $(seq 1 30); do
        serves_book && break
        kill -0 "$SERVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    if ! kill -0 "$SERVER_PID" 2>/dev/null; then
        SERVER_PID=""
        if grep -q "Address already in use" "$server_log"; then
            if serves_book; then
                say "port $port is taken by a server that already has the book's pages; using it"
            else
                fail "port $port on 127.0.0.1 is already taken by another program, which does not serve the book.
Stop that program, or build for another port and serve there:
    CHAPTER_HOST=localhost:8080 $0"
            fi
        elif grep -q "Permission denied" "$server_log"; then
            fail "cannot serve the chapters on port $port: ports below 1024 need root.
Either run this script as root (sudo $0),
or build for an unprivileged port and serve there:
    CHAPTER_HOST=localhost:8080 $0"
        else
            cat "$server_log" >&2
            fail "the chapter server on port $port did not start"
        fi
    else
        say "serving $ROOT/book on http://$CHAPTER_HOST/ (127.0.0.1:$port)"
    fi
    rm -f "$server_log"
    ;;
*)
    say "chapter host $host is not this machine: nothing is served here, the reader asks $host"
    ;;
esac

# ---------------------------------------------------------------- the reader
if [[ $headless -eq 0 ]]; then
    say "starting the reader; the chapter server stops when it exits"
    set +e
    "$READER"
    status=$?
    set -e
    say "the reader exited with code $status"
    exit "$status"
fi

SHOT_DIR=${SHOT_DIR:-$BUILD_DIR/screenshots/$(date +%Y%m%d-%H%M%S)}
mkdir -p "$SHOT_DIR"
say "no display: running the reader on a virtual one (Xvfb)"
# The virtual display has no GPU; the engine must not try to composite. A
# value the user has set stays.
export WEBKIT_DISABLE_COMPOSITING_MODE=${WEBKIT_DISABLE_COMPOSITING_MODE:-1}
set +e
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside-virtual-display "$READER" "$SHOT_DIR"
status=$?
set -e
say "screenshots are in $SHOT_DIR:"
ls -1 "$SHOT_DIR" >&2
exit "$status"

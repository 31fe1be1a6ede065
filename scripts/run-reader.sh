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
# shellcheck source=scripts/lib.sh
. "$ROOT/scripts/lib.sh"
BUILD_DIR=${BUILD_DIR:-$ROOT/build-release}
CHAPTER_HOST=${CHAPTER_HOST:-localhost}
SERVER_PID=""
READER_PID=""
XVFB_PID=""

say() { velmora_say "$*"; }

# shellcheck disable=SC2317  # runs from the trap
cleanup() {
    velmora_stop "$READER_PID" "$XVFB_PID"
    if velmora_alive "$SERVER_PID"; then
        velmora_stop "$SERVER_PID"
        say "chapter server stopped"
    fi
}

trap cleanup EXIT INT TERM

# ---------------------------------------------------------------- dependencies
headless=0
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then headless=1; fi

say "installing dependencies (scripts/setup-deps.sh)"
"$ROOT/scripts/setup-deps.sh" || velmora_die "the packages the reader needs could not be installed"

# ---------------------------------------------------------------- build
say "building the reader in $BUILD_DIR (chapter host: $CHAPTER_HOST)"
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF \
    -DCHAPTER_HOST="$CHAPTER_HOST" >/dev/null
cmake --build "$BUILD_DIR"
READER=$BUILD_DIR/Velmora
[[ -x $READER ]] || velmora_die "the build produced no $READER"

# ---------------------------------------------------------------- chapter server
# The same server and configuration as the installed package's book service.
host=${CHAPTER_HOST%%:*}
port=80
if [[ $CHAPTER_HOST == *:* ]]; then port=${CHAPTER_HOST##*:}; fi

serves_book() { curl -fs -o /dev/null --max-time 2 "http://127.0.0.1:$port/Nav1.html"; }

case $host in
localhost | 127.0.0.1)
    server_log=$BUILD_DIR/chapter-server.log
    why=""
    velmora_start_book_server "$ROOT/book" "$port" "$server_log" SERVER_PID why || true
    case $why in
    "")
        say "serving $ROOT/book on http://$CHAPTER_HOST/ (127.0.0.1:$port; log: $server_log)"
        ;;
    taken)
        if serves_book; then
            say "port $port is taken by a server that already has the book's pages; using it"
        else
            velmora_die "port $port on 127.0.0.1 is already taken by another program, which does not serve the book.
Stop that program, or build for another port and serve there:
    CHAPTER_HOST=localhost:8080 $0"
        fi
        ;;
    forbidden)
        velmora_die "cannot serve the chapters on port $port: ports below 1024 need root.
Either run this script as root (sudo $0),
or build for an unprivileged port and serve there:
    CHAPTER_HOST=localhost:8080 $0"
        ;;
    *)
        cat "$server_log" >&2
        velmora_die "the chapter server on port $port did not start"
        ;;
    esac
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
velmora_start_display 1024x768x24 XVFB_PID || velmora_die "the virtual display did not start"

# Starts the reader, chooses chapters, takes screenshots.
take_screenshots() {
    local shots=$1 window="" s
    "$READER" &
    READER_PID=$!
    for _ in $(seq 1 100); do
        window=$(xdotool search --onlyvisible --name '^Тальмерин$' 2>/dev/null | head -n 1 || true)
        [[ -n $window ]] && break
        velmora_alive "$READER_PID" || break
        sleep 0.1
    done
    if [[ -z $window ]]; then
        import -window root "$shots/00-no-window.png" || true
        say "the reader's window did not appear"
        return 1
    fi
    sleep 1
    import -window root "$shots/01-contents.png"
    # Chapter buttons lie one under another below the page headers; places
    # in units, times the display's scale factor.
    s=${GDK_SCALE:-1}
    local chapter_y=(53 103 153 203)
    xdotool mousemove --window "$window" $((184 * s)) $((chapter_y[0] * s)) click 1
    sleep 2.5
    import -window root "$shots/02-chapter-1.png"
    xdotool mousemove --window "$window" $((45 * s)) $((14 * s)) click 1 # header "Оглавление"
    sleep 0.8
    import -window root "$shots/03-back-to-contents.png"
    xdotool mousemove --window "$window" $((184 * s)) $((chapter_y[3] * s)) click 1
    sleep 2.5
    import -window root "$shots/04-chapter-4.png"
}

status=0
take_screenshots "$SHOT_DIR" || status=$?
say "screenshots are in $SHOT_DIR:"
ls -1 "$SHOT_DIR" >&2
exit "$status"

#!/usr/bin/env bash
# Measures the reader on the Linux desktop against two programs built on the
# same web engine: a bare GTK 3 window holding one WebKitWebView
# (bench/bare_webview.c) and the minimal browser surf. Prints a table of
# figures with their targets. It is a benchmark, not a test: a missed target
# is reported, never turned into a failed exit.
#
#   bench/run.sh            (as root, or with sudo available)
#
# What it does: installs what it lacks (apt-get), builds a Release reader with
# the default chapter host (localhost, port 80) and a second one with the
# timing trace (VELMORA_BENCH_TRACE), serves book/ on 127.0.0.1:80, starts
# its own Xvfb display with a light window manager, and then measures
#   1. exec -> window mapped, median of RUNS runs, the three programs in turn;
#   2. reader: click on the third chapter -> final picture of the reader page;
#   3. reader: positions and step gaps of the slide, from the trace build;
#   4. processor time over IDLE_SECONDS idle (after IDLE_WARMUP seconds of
#      settling), UI process and child processes;
#   5. memory after one chapter: RSS of the UI process, PSS of the whole tree;
#   6. reader: press on the contents header -> table of contents (no slide).
# Everything it starts is stopped again; no server is left running.
#
# Settings of this script (the reader itself has none):
#   RUNS (10), IDLE_SECONDS (30), IDLE_WARMUP (15), CHAPTER_REPEATS (5), SLIDES (5),
#   BENCH_BUILD_DIR (build-bench in the checkout),
#   PARTS (startup,sessions,trace: which measurements to take).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VELMORA_SCRIPT=bench
# shellcheck source=scripts/lib.sh
. "$ROOT/scripts/lib.sh"
BENCH=$ROOT/bench
RUNS=${RUNS:-10}
IDLE_SECONDS=${IDLE_SECONDS:-30}
IDLE_WARMUP=${IDLE_WARMUP:-15}
CHAPTER_REPEATS=${CHAPTER_REPEATS:-5}
SLIDES=${SLIDES:-5}
BUILD_ROOT=${BENCH_BUILD_DIR:-$ROOT/build-bench}
PARTS=${PARTS:-startup,sessions,trace}
want() { [[ ,$PARTS, == *,$1,* ]]; }

# The reader's window at 96 DPI (logical units = pixels): client 368 x 480,
# header strip 28 high, chapter buttons 50 high from its bottom edge.
CLIENT_W=368
CLIENT_H=480
HEADER_H=28
CHAPTER3_CLICK="184,153"
CONTENTS_HEADER_CLICK="45,14"
# The page's scroll indicator (right edge) fades in and out on its own time;
# the paint measurement looks at the page left of it.
SCROLL_STRIP=12
READER_REGION="0,$HEADER_H,$((CLIENT_W - SCROLL_STRIP)),$((CLIENT_H - HEADER_H))"
WINDOW_REGION="0,0,$CLIENT_W,$CLIENT_H"
PAGE_BG=fbfbf8   # background colour of the book's pages
CHAPTER_URL=http://localhost/Nav3.html

WORK=$(mktemp -d /tmp/velmora-bench.XXXXXX)
RESULTS=$WORK/results.txt
SHOTS=$BUILD_ROOT/pictures
: >"$RESULTS"

SERVER_PID=""
XVFB_PID=""
WM_PID=""
PROGRAM_PIDS=()

say() { printf '%s\n' "bench: $*" >&2; }
record() { printf '%s\n' "$*" >>"$RESULTS"; }

# ---------------------------------------------------------------- stopping what we started

alive() { velmora_alive "$@"; }

# Stops a program we started and every process below it (the engine's web
# and network processes), politely first.
stop_tree() {
    local pid=$1 pids p
    alive "$pid" || return 0
    pids=$(python3 "$BENCH/procstats.py" tree "$pid" 2>/dev/null)
    # shellcheck disable=SC2086
    kill -TERM $pids 2>/dev/null
    for _ in $(seq 1 50); do
        local any=0
        for p in $pids; do alive "$p" && any=1; done
        [[ $any -eq 0 ]] && return 0
        sleep 0.1
    done
    for p in $pids; do alive "$p" && kill -KILL "$p" 2>/dev/null; done
    return 0
}


# shellcheck disable=SC2317  # runs from the trap
cleanup() {
    local p
    for p in "${PROGRAM_PIDS[@]}"; do stop_tree "$p"; done
    [[ -n $WM_PID ]] && velmora_stop "$WM_PID"
    [[ -n $XVFB_PID ]] && velmora_stop "$XVFB_PID"
    if [[ -n $SERVER_PID ]]; then
        velmora_stop "$SERVER_PID"
        say "chapter server stopped"
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---------------------------------------------------------------- dependencies

# What the three programs and the probes need, besides the project's own set.
if ! bash "$ROOT/scripts/setup-deps.sh" >"$WORK/apt.log" 2>&1 ||
    ! velmora_apt_install gcc surf libxtst-dev libxext-dev >>"$WORK/apt.log" 2>&1; then
    tail -20 "$WORK/apt.log" >&2
    say "the installation failed"
    exit 1
fi

# ---------------------------------------------------------------- builds

build_reader() {
    local dir=$1 trace=$2
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF \
        -DCHAPTER_HOST=localhost -DVELMORA_BENCH_TRACE="$trace" >"$WORK/cmake.log" 2>&1 &&
        cmake --build "$dir" --target velmora >"$WORK/build.log" 2>&1
}

say "building the Release reader in $BUILD_ROOT/release"
build_reader "$BUILD_ROOT/release" OFF || { tail -30 "$WORK/build.log" "$WORK/cmake.log" >&2; say "the build failed"; exit 1; }
say "building the trace build in $BUILD_ROOT/trace"
build_reader "$BUILD_ROOT/trace" ON || { tail -30 "$WORK/build.log" >&2; say "the trace build failed"; exit 1; }
READER=$BUILD_ROOT/release/Velmora
TRACER=$BUILD_ROOT/trace/Velmora
mkdir -p "$BUILD_ROOT/tools" "$SHOTS"
XPROBE=$BUILD_ROOT/tools/xprobe
BARE=$BUILD_ROOT/tools/bare_webview
gcc -O2 -Wall -Wextra -o "$XPROBE" "$BENCH/xprobe.c" -lX11 -lXext -lXtst || { say "xprobe did not build"; exit 1; }
# shellcheck disable=SC2046
gcc -O2 -Wall -Wextra -o "$BARE" "$BENCH/bare_webview.c" $(pkg-config --cflags --libs gtk+-3.0 webkit2gtk-4.1) ||
    { say "bare_webview did not build"; exit 1; }
SURF=$(command -v surf)

# ---------------------------------------------------------------- chapter server

serves_book() {
    python3 - <<'EOF' 2>/dev/null
import sys, urllib.request
try:
    with urllib.request.urlopen("http://127.0.0.1:80/Nav3.html", timeout=2) as r:
        sys.exit(0 if r.status == 200 and b"<html" in r.read() else 1)
except Exception:
    sys.exit(1)
EOF
}

server_log=$BUILD_ROOT/chapter-server.log
server_problem=""
# The same server and configuration as the installed package's book service.
start_server() { velmora_start_book_server "$ROOT/book" 80 "$server_log" SERVER_PID server_problem; }

# The machine is shared: should our server be gone by the time a program
# loads a chapter, the figures would be those of an error page. Checked
# before every measurement that loads a page; a restart is reported.
SERVER_OWNED=0
ensure_server() {
    [[ $SERVER_OWNED -eq 1 ]] || return 0
    serves_book && return 0
    local status=running
    if ! alive "$SERVER_PID"; then
        wait "$SERVER_PID" 2>/dev/null
        status="exit status $?"
    fi
    say "the chapter server stopped serving ($status); starting it again"
    record "server_restarts=1"
    start_server
    serves_book || say "the chapter server could not be started again: the page figures below are not valid"
}

start_server
if ! alive "$SERVER_PID"; then
    SERVER_PID=""
    if [[ $server_problem == taken ]] && serves_book; then
        say "port 80 is taken by a server that already serves the book's pages; using it (not started here, not stopped here)"
    elif [[ $server_problem == forbidden ]]; then
        say "cannot serve the chapters on 127.0.0.1:80: ports below 1024 need root. Run this script as root (sudo $0)."
        exit 1
    else
        cat "$server_log" >&2
        say "the chapter server on 127.0.0.1:80 did not start"
        exit 1
    fi
else
    SERVER_OWNED=1
    say "serving $ROOT/book on 127.0.0.1:80"
fi

# ---------------------------------------------------------------- display

velmora_start_display 1280x1024x24 XVFB_PID || exit 1
velmora_start_window_manager "$WORK/openbox.log" WM_PID || exit 1

# The same surroundings for all three programs: a fresh home (no caches from
# earlier runs), no session bus or accessibility bus, and the engine's
# software path, since the virtual display has no GPU.
export HOME=$WORK/home XDG_CACHE_HOME=$WORK/home/.cache XDG_DATA_HOME=$WORK/home/.local/share
export XDG_CONFIG_HOME=$WORK/home/.config XDG_RUNTIME_DIR=$WORK/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY
export NO_AT_BRIDGE=1 WEBKIT_DISABLE_COMPOSITING_MODE=1 GDK_BACKEND=x11

# ---------------------------------------------------------------- helpers

# launch NAME LOG PROGRAM [ARGS]: starts a program through xprobe; sets
# LAUNCHED_PID and LAUNCHED_MS (-1 when no window appeared).
launch() {
    local name=$1 log=$2 line
    shift 2
    line=$("$XPROBE" launch --log "$log" --timeout-ms 30000 -- "$@")
    LAUNCHED_PID=$(sed -n 's/.*pid=\([0-9]*\).*/\1/p' <<<"$line")
    LAUNCHED_MS=$(sed -n 's/.*mapped_ms=\([-0-9.]*\).*/\1/p' <<<"$line")
    [[ -n $LAUNCHED_PID ]] && PROGRAM_PIDS+=("$LAUNCHED_PID")
    if [[ -z $LAUNCHED_MS || $LAUNCHED_MS == -1* ]]; then
        say "$name showed no window"
        LAUNCHED_MS=-1
        return 1
    fi
    return 0
}

value_of() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }

program_cmd() {
    case $1 in
    velmora) echo "$READER" ;;
    bare) echo "$BARE $CHAPTER_URL" ;;
    surf) echo "$SURF $CHAPTER_URL" ;;
    esac
}

# surf opens at its own size; it is brought to the reader's client size so
# that the three draw the same area.
fit_window() {
    local pid=$1 window
    window=$(xdotool search --pid "$pid" --onlyvisible 2>/dev/null | head -n 1)
    [[ -n $window ]] && xdotool windowsize "$window" "$CLIENT_W" "$CLIENT_H" 2>/dev/null
}

# ---------------------------------------------------------------- 1. start-up

want startup && say "start-up: $RUNS runs of each program, in turn"
want startup && for _ in $(seq 1 "$RUNS"); do
    for name in velmora bare surf; do
        # shellcheck disable=SC2046
        if launch "$name" /dev/null $(program_cmd "$name"); then
            record "startup.$name=$LAUNCHED_MS"
        fi
        stop_tree "$LAUNCHED_PID"
        sleep 0.3
    done
    printf '.' >&2
done
printf '\n' >&2

# ---------------------------------------------------------------- 2, 4, 5: one session per program

idle_and_memory() {
    local name=$1 pid=$2 out
    out=$(python3 "$BENCH/procstats.py" mem "$pid")
    while IFS= read -r kv; do record "$name.$kv"; done <<<"$out"
    # A page that has just loaded keeps the engine busy for some seconds
    # (scroll indicator, collection, caches); idle is what comes after.
    say "$name: ${IDLE_WARMUP}s to settle, then idle for ${IDLE_SECONDS}s"
    sleep "$IDLE_WARMUP"
    out=$(python3 "$BENCH/procstats.py" cpu "$pid" "$IDLE_SECONDS")
    while IFS= read -r kv; do record "$name.$kv"; done <<<"$out"
}

want sessions && say "reader session: chapter 3, memory, idle, $CHAPTER_REPEATS more chapter clicks"
want sessions && ensure_server
want sessions && if launch velmora "$WORK/velmora.log" "$READER"; then
    pid=$LAUNCHED_PID
    "$XPROBE" watch --pid "$pid" --region "$WINDOW_REGION" --settle-ms 1000 --timeout-ms 15000 >/dev/null
    out=$("$XPROBE" watch --pid "$pid" --region "$READER_REGION" --click "$CHAPTER3_CLICK" --settle-ms 1000 \
        --timeout-ms 15000 --bg "$PAGE_BG" --save "$SHOTS/velmora-chapter3.ppm")
    record "velmora.chapter_first_ms=$(value_of final_ms "$out")"
    record "velmora.page_bg_share=$(value_of bg_share "$out")"
    record "velmora.page_dark_share=$(value_of dark_share "$out")"
    idle_and_memory velmora "$pid"
    for _ in $(seq 1 "$CHAPTER_REPEATS"); do
        ensure_server
        # Back to the table of contents: at once, in one change of the page.
        out=$("$XPROBE" watch --pid "$pid" --region "$READER_REGION" --click "$CONTENTS_HEADER_CLICK" --settle-ms 500 \
            --timeout-ms 10000)
        record "velmora.back_ms=$(value_of final_ms "$out")"
        record "velmora.back_pictures=$(value_of pictures "$out")"
        out=$("$XPROBE" watch --pid "$pid" --region "$READER_REGION" --click "$CHAPTER3_CLICK" --settle-ms 800 \
            --timeout-ms 10000 --bg "$PAGE_BG")
        record "velmora.chapter_ms=$(value_of final_ms "$out")"
    done
    stop_tree "$pid"
fi

want sessions && for name in bare surf; do
    say "$name session: the chapter page, memory, idle"
    ensure_server
    # shellcheck disable=SC2046
    if launch "$name" "$WORK/$name.log" $(program_cmd "$name"); then
        pid=$LAUNCHED_PID
        [[ $name == surf ]] && fit_window "$pid"
        out=$("$XPROBE" watch --pid "$pid" --region "$WINDOW_REGION" --settle-ms 1000 --timeout-ms 15000 \
            --bg "$PAGE_BG" --save "$SHOTS/$name.ppm")
        record "$name.page_bg_share=$(value_of bg_share "$out")"
        record "$name.page_dark_share=$(value_of dark_share "$out")"
        idle_and_memory "$name" "$pid"
        stop_tree "$pid"
    fi
done

# ---------------------------------------------------------------- 3. slide trace

want trace && say "trace build: $SLIDES chapter slides"
want trace && ensure_server
: >"$WORK/clicks.txt"
want trace && if launch velmora-trace "$WORK/trace.log" "$TRACER"; then
    pid=$LAUNCHED_PID
    "$XPROBE" watch --pid "$pid" --region "$WINDOW_REGION" --settle-ms 1000 --timeout-ms 15000 >/dev/null
    for _ in $(seq 1 "$SLIDES"); do
        out=$("$XPROBE" watch --pid "$pid" --region "$READER_REGION" --click "$CHAPTER3_CLICK" --settle-ms 600 \
            --timeout-ms 10000 --bg "$PAGE_BG")
        value_of start_stamp_ms "$out" >>"$WORK/clicks.txt"
        record "trace.page_bg_share=$(value_of bg_share "$out")"
        "$XPROBE" click --pid "$pid" --at "$CONTENTS_HEADER_CLICK" >/dev/null
        "$XPROBE" watch --pid "$pid" --region "$WINDOW_REGION" --settle-ms 500 --timeout-ms 10000 >/dev/null
    done
    stop_tree "$pid"
    python3 "$BENCH/slidetrace.py" "$WORK/trace.log" "$WORK/clicks.txt" "$CLIENT_W" >"$WORK/slides.txt"
    grep '^slide ' "$WORK/slides.txt" >&2
    grep '=' "$WORK/slides.txt" | sed 's/^/slide./' >>"$RESULTS"
    # Kept for a closer look: bench/slidetrace.py reads them again.
    cp "$WORK/trace.log" "$WORK/clicks.txt" "$WORK/slides.txt" "$BUILD_ROOT/"
fi

for ppm in "$SHOTS"/*.ppm; do
    [[ -e $ppm ]] && convert "$ppm" "${ppm%.ppm}.png" 2>/dev/null && rm -f "$ppm"
done

# ---------------------------------------------------------------- report

python3 "$BENCH/report.py" "$RESULTS" "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)"
say "final pictures of the pages: $SHOTS"
exit 0

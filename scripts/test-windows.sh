#!/usr/bin/env bash
# Runs the Windows program and its tests where they run: cross-built with
# MinGW-w64, under Wine, through CTest.
#   - velmora_tests: every headless test, as on Linux;
#   - velmora_binding_tests: the web engine binding against a recording
#     stand-in for the browser control, inside the whole program;
#   - velmora_windows_tests: what only Windows has (code pages, file
#     attributes and times), the code page suite once per system locale;
#   - velmora_windows_a11y_tests: the real window's accessibility tree as an
#     Active Accessibility client reads it, on a virtual display of its own;
#   - velmora_win32_tests: the Windows backend itself (windows, timers,
#     wake-ups, message boxes, keys) on a virtual display of its own;
#   - velmora_reader_smoke_wine: the real Velmora.exe on a virtual display of
#     its own against a chapter server (tests/windows/reader-smoke-wine.sh);
#   - velmora_dpi_wine: its client area at 96, 120 and 144 DPI, read by a
#     DPI-aware probe (tests/windows/dpi-wine.sh).
#
# Settings: WINE_BUILD_DIR (default build-wine in the checkout),
#           HOST_BUILD_DIR (default build-win32-host: the host formtext2bin),
#           JOBS (default: cores), SKIP_SETUP=1 to skip installing packages,
#           SCREENSHOT_DIR to keep the smoke test's screenshots,
#           CTEST_ARGS extra arguments for ctest (e.g. "-R Startup").
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${WINE_BUILD_DIR:-$ROOT/build-wine}
HOST_DIR=${HOST_BUILD_DIR:-$ROOT/build-win32-host}
# Wine takes only an absolute prefix; folders given relative to the current
# folder are resolved here.
BUILD_DIR=$(realpath -m "$BUILD_DIR")
HOST_DIR=$(realpath -m "$HOST_DIR")
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}
# shellcheck source=scripts/lib.sh
. "$ROOT/scripts/lib.sh"

seconds_since() { echo $(($(date +%s) - $1)); }

# ---- Wine and its prefix (the prefix's architecture picks the compiler)
started=$(date +%s)
velmora_step "Wine prefix ($BUILD_DIR/wineprefix)"
mkdir -p "$BUILD_DIR"
SKIP_SETUP=${SKIP_SETUP:-0} bash "$ROOT/scripts/setup-wine.sh" "$BUILD_DIR/wineprefix" || velmora_die "Wine setup failed"
# shellcheck disable=SC1091  # written by setup-wine.sh
. "$BUILD_DIR/wineprefix/velmora-wine.env"
case $VELMORA_MINGW in
i686-*) toolchain=$ROOT/cmake/toolchain-mingw32.cmake ;;
*) toolchain=$ROOT/cmake/toolchain-mingw64.cmake ;;
esac
echo "prefix ready after $(seconds_since "$started") s"

# ---- the form description compiler runs on this machine
velmora_build_form_compiler "$HOST_DIR" "$JOBS" || exit 1

# ---- the cross build with the tests
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
velmora_step "cross build for $VELMORA_MINGW ($BUILD_DIR)"
built=$(date +%s)
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DVELMORA_FORMTEXT2BIN="$HOST_DIR/formtext2bin" -DVELMORA_WINEPREFIX="$BUILD_DIR/wineprefix" \
    "${launcher[@]}" >/dev/null || velmora_die "cross configure failed"
cmake --build "$BUILD_DIR" -j "$JOBS" --target velmora velmora_tests velmora_windows_tests velmora_win32_tests velmora_windows_a11y_tests velmora_binding_tests \
    velmora_focus_probe velmora_dpi_probe ||
    velmora_die "the Windows tests failed to build"
echo "built in $(seconds_since "$built") s"

# ---- a running Wine for the whole test run
# A persistent wineserver and a warm prefix before CTest: otherwise the
# services Wine starts with the first program inherit CTest's pipes, and
# CTest waits for them after the test has ended.
export WINEPREFIX=$BUILD_DIR/wineprefix WINEARCH WINELOADER WINEDEBUG=-all WINEDLLOVERRIDES=mscoree=
wineserver -p </dev/null >/dev/null 2>&1 &
stop_wine() { WINEPREFIX=$BUILD_DIR/wineprefix wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT
# On a display of its own: Wine's desktop process starts with the services
# and keeps the display it found. Started without one, it would stay without
# one, and the windowed tests could not make windows; this one ends with its
# display, and each windowed test brings the next.
bash "$ROOT/scripts/with-display.sh" "$WINELOADER" wineboot </dev/null >/dev/null 2>&1 ||
    velmora_die "the Wine prefix does not start"

velmora_step "tests under Wine"
tested=$(date +%s)
# shellcheck disable=SC2086  # CTEST_ARGS is a list of words
velmora_ctest "$BUILD_DIR" "$JOBS" ${CTEST_ARGS:-} || {
    echo "tests under Wine took $(seconds_since "$tested") s"
    velmora_die "tests under Wine failed"
}
echo "tests under Wine took $(seconds_since "$tested") s; the Windows part $(seconds_since "$started") s in all"

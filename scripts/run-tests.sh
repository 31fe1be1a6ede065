#!/usr/bin/env bash
# Sets up a fresh Debian/Ubuntu machine, builds everything and runs every
# test: the unit and program tests (ctest), the form reader fuzzer for a
# minute, the desktop end-to-end tests and the Windows cross build. Exits
# non-zero on any failure.
#
# Settings: BUILD_DIR (default build in the checkout), JOBS (default: cores),
#           FUZZ_SECONDS (default 60), SKIP_SETUP=1 to skip installing packages.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
failures=()

step() { printf '\n==== %s\n' "$*"; }

if [[ ${SKIP_SETUP:-0} != 1 ]]; then
    step "dependencies"
    bash "$ROOT/scripts/setup-deps.sh" || { echo "run-tests: setup failed" >&2; exit 1; }
fi

step "configure ($BUILD_DIR)"
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo || exit 1

step "build"
cmake --build "$BUILD_DIR" -j "$JOBS" || exit 1

step "tests"
# ctest runs the desktop tests too when the desktop backend was built; they
# bring their own virtual display.
(cd "$BUILD_DIR" && ctest --output-on-failure -j "$JOBS" --timeout 600) || failures+=("ctest")

if [[ -x $ROOT/scripts/fuzz-reader.sh || -f $ROOT/scripts/fuzz-reader.sh ]]; then
    step "form reader fuzzing (${FUZZ_SECONDS}s)"
    FUZZ_BUILD_DIR="$BUILD_DIR-fuzz" sh "$ROOT/scripts/fuzz-reader.sh" "$FUZZ_SECONDS" || failures+=("fuzz-reader")
fi

if [[ -f $ROOT/tests/desktop/run.sh ]]; then
    step "desktop end-to-end tests"
    BUILD_DIR="$BUILD_DIR" bash "$ROOT/tests/desktop/run.sh" || failures+=("desktop end-to-end")
fi

# The Windows program, cross-built with MinGW-w64 wherever its compiler is
# installed (setup-deps.sh installs it); a failed cross build fails the run.
if command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1 || command -v i686-w64-mingw32-g++ >/dev/null 2>&1; then
    step "Windows cross build"
    WIN32_BUILD_DIR="$BUILD_DIR-win32" HOST_BUILD_DIR="$BUILD_DIR-win32-host" JOBS="$JOBS" SKIP_SETUP="${SKIP_SETUP:-0}" \
        bash "$ROOT/scripts/build-windows.sh" || failures+=("windows cross build")
fi

# The Windows program and its tests under Wine (scripts/test-windows.sh).
step "Windows tests under Wine"
WINE_BUILD_DIR="$BUILD_DIR-wine" HOST_BUILD_DIR="$BUILD_DIR-win32-host" JOBS="$JOBS" SKIP_SETUP="${SKIP_SETUP:-0}" \
    bash "$ROOT/scripts/test-windows.sh" || failures+=("windows tests under wine")

if ((${#failures[@]} > 0)); then
    printf '\nrun-tests: FAILED: %s\n' "${failures[*]}" >&2
    exit 1
fi
printf '\nrun-tests: all passed\n'

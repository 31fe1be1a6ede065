#!/usr/bin/env bash
# Sets up a fresh Debian/Ubuntu machine, builds everything and runs every
# test: the unit and program tests (ctest, with the desktop and book server
# tests), the headless tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the native core's thread tests (message FIFO,
# wake-ups, the loop's thread) under ThreadSanitizer, the Debian package and
# the path a user takes with it, the
# form reader fuzzer for a minute and the Windows cross build. Exits non-zero
# on any failure.
#
# Settings: BUILD_DIR (default build in the checkout), JOBS (default: cores),
#           FUZZ_SECONDS (default 60), SKIP_SETUP=1 to skip installing packages.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/lib.sh
. "$ROOT/scripts/lib.sh"
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
failures=()

if [[ ${SKIP_SETUP:-0} != 1 ]]; then
    velmora_step "dependencies"
    bash "$ROOT/scripts/setup-deps.sh" || velmora_die "setup failed"
fi

velmora_step "configure ($BUILD_DIR)"
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo || exit 1

velmora_step "build"
cmake --build "$BUILD_DIR" -j "$JOBS" || exit 1

velmora_step "tests"
# ctest runs the desktop tests too when the desktop backend was built; they
# bring their own virtual display.
velmora_ctest "$BUILD_DIR" "$JOBS" || failures+=("ctest")

if [[ -x $ROOT/scripts/fuzz-reader.sh || -f $ROOT/scripts/fuzz-reader.sh ]]; then
    velmora_step "form reader fuzzing (${FUZZ_SECONDS}s)"
    FUZZ_BUILD_DIR="$BUILD_DIR-fuzz" sh "$ROOT/scripts/fuzz-reader.sh" "$FUZZ_SECONDS" || failures+=("fuzz-reader")
fi

velmora_step "Debian package"
rm -f "$BUILD_DIR"/velmora_*.deb
if (cd "$BUILD_DIR" && cpack); then
    bash "$ROOT/tests/packaging/check-package.sh" "$BUILD_DIR"/velmora_*.deb || failures+=("package")
else
    failures+=("cpack")
fi

# Sanitizer trees build only what they run, without the desktop backend.
velmora_step "headless tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$ROOT" -B "$BUILD_DIR-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_WITH_GTK=OFF \
    -DVELMORA_SANITIZE=address,undefined >/dev/null &&
    cmake --build "$BUILD_DIR-asan" -j "$JOBS" --target velmora_tests &&
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
        "$BUILD_DIR-asan/tests/velmora_tests" --gtest_brief=1 || failures+=("asan/ubsan")

velmora_step "the native core's thread tests under ThreadSanitizer"
cmake -S "$ROOT" -B "$BUILD_DIR-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_WITH_GTK=OFF \
    -DVELMORA_SANITIZE=thread >/dev/null &&
    cmake --build "$BUILD_DIR-tsan" -j "$JOBS" --target velmora_fifo_tests &&
    TSAN_OPTIONS=halt_on_error=1 "$BUILD_DIR-tsan/tests/velmora_fifo_tests" || failures+=("tsan")

# The Windows program, cross-built with MinGW-w64 wherever its compiler is
# installed (setup-deps.sh installs it); a failed cross build fails the run.
if command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1 || command -v i686-w64-mingw32-g++ >/dev/null 2>&1; then
    velmora_step "Windows cross build"
    WIN32_BUILD_DIR="$BUILD_DIR-win32" HOST_BUILD_DIR="$BUILD_DIR-win32-host" JOBS="$JOBS" SKIP_SETUP="${SKIP_SETUP:-0}" \
        bash "$ROOT/scripts/build-windows.sh" || failures+=("windows cross build")
fi

# The Windows program and its tests under Wine (scripts/test-windows.sh).
velmora_step "Windows tests under Wine"
WINE_BUILD_DIR="$BUILD_DIR-wine" HOST_BUILD_DIR="$BUILD_DIR-win32-host" JOBS="$JOBS" SKIP_SETUP="${SKIP_SETUP:-0}" \
    bash "$ROOT/scripts/test-windows.sh" || failures+=("windows tests under wine")

if ((${#failures[@]} > 0)); then
    velmora_ctest_failures "$BUILD_DIR"
    velmora_ctest_failures "$BUILD_DIR-wine"
    printf '\nrun-tests: FAILED: %s\n' "${failures[*]}" >&2
    exit 1
fi
printf '\nrun-tests: all passed\n'

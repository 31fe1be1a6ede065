#!/usr/bin/env bash
# The program explorer over many more seeds than CI plays, or one schedule
# replayed with its trace: every step and every call the engine and the
# display received.
#
#   scripts/explore.sh [SEEDS [FIRST_SEED [STEPS]]]   default 20000 seeds from 1, 40 steps
#   scripts/explore.sh --replay "0 click B3; 150 close"
#
# Builds the headless tests in BUILD_DIR (default: build in the checkout)
# first. A failing seed is printed with the shortest replay found; it goes
# into the table of replays in tests/explorer/ExplorerTest.cpp once fixed.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/lib.sh
. "$ROOT/scripts/lib.sh"
BUILD_DIR=${BUILD_DIR:-$ROOT/build}

if [[ ! -f $BUILD_DIR/build.ninja ]]; then
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || velmora_die "configure failed"
fi
cmake --build "$BUILD_DIR" --target velmora_tests >/dev/null || velmora_die "the tests did not build"
tests=$BUILD_DIR/tests/velmora_tests

if [[ ${1:-} == --replay ]]; then
    [[ $# -eq 2 ]] || velmora_die "usage: $0 --replay \"STEPS\""
    VELMORA_EXPLORE_TRACE=1 VELMORA_EXPLORE_REPLAY=$2 "$tests" --gtest_filter=ProgramExplorer.ReplayFromTheEnvironment
    exit
fi

VELMORA_EXPLORE_SEEDS=${1:-20000} VELMORA_EXPLORE_FIRST_SEED=${2:-1} VELMORA_EXPLORE_STEPS=${3:-40} \
    "$tests" --gtest_filter=ProgramExplorer.RandomSchedules

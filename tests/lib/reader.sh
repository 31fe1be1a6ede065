# The desktop reader as the end-to-end tests start it, on the display they
# run on. Sourced after scripts/lib.sh and tests/lib/screen.sh.
# shellcheck shell=bash

# reader_start READER WORK PID_VAR: starts the reader with fresh per-user
# folders inside WORK (no engine cache from an earlier run can answer for
# the server, and the start-up copy lands in a throw-away place), at scale 1
# (its client area is checked in pixels), without compositing (the virtual
# display has no GPU) and with GTK criticals fatal (each is a bug of the
# backend). Its output goes to WORK/reader.log; PID_VAR gets its process.
reader_start() {
    local _reader=$1 _work=$2
    mkdir -p "$_work/cache" "$_work/config" "$_work/data" || return 1
    (
        unset GDK_SCALE GDK_DPI_SCALE
        export WEBKIT_DISABLE_COMPOSITING_MODE=${WEBKIT_DISABLE_COMPOSITING_MODE:-1}
        XDG_CACHE_HOME=$_work/cache XDG_CONFIG_HOME=$_work/config XDG_DATA_HOME=$_work/data \
            G_DEBUG=${G_DEBUG:-fatal-criticals} exec "$_reader" >"$_work/reader.log" 2>&1
    ) &
    velmora_set_result "$3" $!
}

# reader_wait_window PID WINDOW_VAR: waits up to 30 s for the reader's window
# "Тальмерин"; fails the test with the reason when it does not come.
reader_wait_window() {
    screen_wait_window "$1" Тальмерин 30 "$2" && return 0
    velmora_alive "$1" || velmora_test_fail "the reader ended before its window appeared"
    velmora_test_fail "no visible window titled Тальмерин within 30 s"
}

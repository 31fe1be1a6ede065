#!/usr/bin/env bash
# The real reader seen through the accessibility bus: a client walks its tree
# the way a screen reader does and drives it through actions alone (see
# a11y_client.py), against the book server this script starts (the one the
# installed package runs) and whose log it reads.
#
#   a11y-smoke.sh <reader> <book directory> <port>
#
# Starts its own virtual display and session bus with the accessibility bus.
# Exit 77 (skipped) only when a tool is missing or the port cannot be bound.
set -uo pipefail

reader=$1
book=$2
port=$3
here=$(cd "$(dirname "$0")" && pwd)
lib=$here/../../../scripts/lib.sh
# shellcheck source=scripts/lib.sh
. "$lib"

velmora_test_need Xvfb dbus-run-session python3
velmora_accessibility_bus_launcher launcher ||
    velmora_test_skip "the accessibility bus launcher (at-spi2-core) is not installed"
# The distribution's python carries the introspection bindings; a python of
# one's own earlier on the PATH may not.
client_python=""
velmora_python_with 'import gi; gi.require_version("Atspi", "2.0"); from gi.repository import Atspi' client_python ||
    velmora_test_skip "python3 with gi.repository.Atspi (python3-gi, gir1.2-atspi-2.0) is not installed"

velmora_test_make_work
work=$VELMORA_TEST_WORK
server_pid=""
xvfb_pid=""
# The exit status decides whether the work folder stays; 0 when the test goes
# on elsewhere.
finish() {
    local status=${1:-$?}
    velmora_stop "$server_pid" "$xvfb_pid"
    velmora_test_forget_work "$status"
}
trap finish EXIT

# ------------------------------------------------------------ chapter server
again=()
velmora_test_serve_book "$book" "$port" "$work/server.log" server_pid A11Y_OWN_NETWORK again "$0" "$@" ||
    { finish 0; exec "${again[@]}"; }

# ------------------------------------------------------------ display
velmora_start_display 1024x768x24 xvfb_pid || velmora_test_fail "the virtual display did not start"

# ------------------------------------------------------------ buses, reader, client
mkdir -p "$work/cache" "$work/config" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/runtime
export WEBKIT_DISABLE_COMPOSITING_MODE=1
unset GDK_SCALE GDK_DPI_SCALE NO_AT_BRIDGE
# shellcheck disable=SC2016  # expanded by the inner shell
dbus-run-session -- bash -c '
    work=$1 reader=$2 client=$3 lib=$4 client_python=$5
    . "$lib"
    velmora_start_accessibility_bus "$work/launcher.log" launcher_pid || exit 1
    G_DEBUG=fatal-criticals "$reader" >"$work/reader.log" 2>&1 &
    reader_pid=$!
    timeout 120 "$client_python" "$client" "$work/server.log" "Радионавигационные средства определения места в море"
    rc=$?
    kill -0 $reader_pid 2>/dev/null || { echo "the reader is gone"; rc=1; }
    kill $reader_pid $launcher_pid 2>/dev/null
    wait
    exit $rc
' a11y "$work" "$reader" "$here/a11y_client.py" "$lib" "$client_python"
rc=$?
[[ $rc -eq 0 ]] || velmora_test_fail "the accessibility checks failed (exit $rc)"
echo "accessibility smoke test passed"

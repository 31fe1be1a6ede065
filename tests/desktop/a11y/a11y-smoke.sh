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
VELMORA_SCRIPT="a11y-smoke"
# shellcheck source=scripts/lib.sh
. "$here/../../../scripts/lib.sh"

for tool in Xvfb dbus-run-session python3; do
    command -v "$tool" >/dev/null || velmora_test_skip "$tool is not installed"
done
launcher=""
for candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
    [[ -x $candidate ]] && launcher=$candidate && break
done
[[ -n $launcher ]] || velmora_test_skip "the accessibility bus launcher (at-spi2-core) is not installed"
# The distribution's python carries the introspection bindings; a python of
# one's own earlier on the PATH may not.
client_python=""
for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c 'import gi; gi.require_version("Atspi", "2.0"); from gi.repository import Atspi' 2>/dev/null; then
        client_python=$candidate
        break
    fi
done
[[ -n $client_python ]] || velmora_test_skip "python3 with gi.repository.Atspi (python3-gi, gir1.2-atspi-2.0) is not installed"

work=$(mktemp -d)
VELMORA_TEST_WORK=$work
server_pid=""
finish() {
    velmora_stop "$server_pid" "${VELMORA_XVFB_PID:-}"
    velmora_test_forget_work
}
trap finish EXIT

# ------------------------------------------------------------ chapter server
velmora_serve_book_for_test "$book" "$port" "$work/server.log" A11Y_OWN_NETWORK finish "$0" "$@"
case $? in
0) server_pid=$VELMORA_SERVER_PID ;;
77) velmora_test_skip "$VELMORA_SERVER_PROBLEM" ;;
*) velmora_test_fail "$VELMORA_SERVER_PROBLEM" ;;
esac

# ------------------------------------------------------------ display
velmora_start_display 1024x768x24 || velmora_test_fail "the virtual display did not start"

# ------------------------------------------------------------ buses, reader, client
mkdir -p "$work/cache" "$work/config" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/runtime
export WEBKIT_DISABLE_COMPOSITING_MODE=1
unset GDK_SCALE GDK_DPI_SCALE NO_AT_BRIDGE
# shellcheck disable=SC2016  # expanded by the inner shell
dbus-run-session -- bash -c '
    work=$1 reader=$2 client=$3 launcher=$4 client_python=$5
    "$launcher" --launch-immediately >"$work/launcher.log" 2>&1 &
    launcher_pid=$!
    # Everyone asks for accessibility, as a running screen reader would.
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true \
        >/dev/null 2>&1
    G_DEBUG=fatal-criticals "$reader" >"$work/reader.log" 2>&1 &
    reader_pid=$!
    timeout 120 "$client_python" "$client" "$work/server.log" "Радионавигационные средства определения места в море"
    rc=$?
    kill -0 $reader_pid 2>/dev/null || { echo "the reader is gone"; rc=1; }
    kill $reader_pid $launcher_pid 2>/dev/null
    wait
    exit $rc
' a11y "$work" "$reader" "$here/a11y_client.py" "$launcher" "$client_python"
rc=$?
[[ $rc -eq 0 ]] || velmora_test_fail "the accessibility checks failed (exit $rc)"
echo "accessibility smoke test passed"

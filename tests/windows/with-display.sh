#!/usr/bin/env bash
# Runs a command on a virtual display of its own (Xvfb, a number the server
# picks), for Windows tests whose windows must really exist under Wine:
#   with-display.sh <command> [arguments...]
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
VELMORA_SCRIPT=with-display
# shellcheck source=scripts/lib.sh
. "$ROOT/scripts/lib.sh"
velmora_start_display || exit 1
"$@"
status=$?
velmora_stop "$VELMORA_XVFB_PID"
exit $status

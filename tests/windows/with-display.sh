#!/usr/bin/env bash
# Runs a command on a virtual display of its own (Windows made under Wine
# need an X display; CI has none):  with-display.sh <command> [arguments...]
set -euo pipefail
VELMORA_SCRIPT=with-display
# shellcheck source=../../scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
velmora_start_display 1024x768x24
trap 'velmora_stop "$VELMORA_XVFB_PID"' EXIT
"$@"

#!/usr/bin/env bash
# Runs a command on a virtual display of its own (and, with --wm, a window
# manager), then stops both; exits with the command's status.
#
#   scripts/with-display.sh [--wm] [--screen WxHxDEPTH] COMMAND [ARGS]
set -uo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

wm=0
screen=1280x1024x24
while [[ $# -gt 0 ]]; do
    case $1 in
    --wm) wm=1 ;;
    --screen) screen=$2; shift ;;
    *) break ;;
    esac
    shift
done

xvfb_pid="" wm_pid=""
# shellcheck disable=SC2317  # runs from the trap
stop_display() { velmora_stop "$wm_pid" "$xvfb_pid"; }
trap stop_display EXIT
velmora_start_display "$screen" xvfb_pid || exit 1
if [[ $wm -eq 1 ]]; then velmora_start_window_manager /dev/null wm_pid || exit 1; fi
"$@"

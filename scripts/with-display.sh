#!/usr/bin/env bash
# Runs a command on a virtual display of its own (and, with --wm, a window
# manager), then stops both; exits with the command's status. Everything
# runs in a home of its own, removed at the end: the window manager's and
# the graphics driver's caches, a screen reader's settings and the reader's
# engine data never land in the home of whoever runs the tests, and no run
# finds what an earlier one left there.
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

xvfb_pid="" wm_pid="" home=""
# shellcheck disable=SC2317  # runs from the trap
stop_display() {
    velmora_stop "$wm_pid" "$xvfb_pid"
    [[ -z $home ]] || rm -rf "$home"
}
trap stop_display EXIT
home=$(mktemp -d) || velmora_die "no folder for the home"
export HOME=$home XDG_CACHE_HOME=$home/.cache XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    XDG_STATE_HOME=$home/.local/state
velmora_start_display "$screen" xvfb_pid || exit 1
if [[ $wm -eq 1 ]]; then velmora_start_window_manager /dev/null wm_pid || exit 1; fi
"$@"

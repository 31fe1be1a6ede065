#!/usr/bin/env bash
# The Windows program's client area at the system DPIs of 100 %, 125 % and
# 150 %, measured from outside: the system DPI is set in the prefix
# (HKCU\Control Panel\Desktop, LogPixels), a fresh program is started, and a
# separate DPI-aware probe reads the main window's client area with
# GetClientRect and closes it. It must be exactly 368 x 480, 460 x 600 and
# 552 x 720, and the program must end with exit code 0.
#
#   dpi-wine.sh <wine-run> <Velmora.exe> <velmora_dpi_probe.exe>
#
# Changes the prefix's DPI while it runs (CTest runs it alone) and puts the
# old setting back at the end. Exit 77 when a tool is missing.
set -uo pipefail

wine_run=$1
exe=$2
probe=$3

here=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=scripts/lib.sh
. "$here/../../scripts/lib.sh"

velmora_test_make_work
work=$VELMORA_TEST_WORK
xvfb_pid=""
reader_pid=""
readonly KEY='HKCU\Control Panel\Desktop'
old_dpi=""

# The setting as reg prints it ("0x78"), empty when it is not set.
logpixels() { "$wine_run" reg query "$KEY" /v LogPixels 2>/dev/null | tr -d '\r' | awk '$1 == "LogPixels" { print $3 }'; }
set_logpixels() { "$wine_run" reg add "$KEY" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }

finish() {
    local status=${1:-$?}
    velmora_stop "$reader_pid" "$xvfb_pid"
    if [[ -n $old_dpi ]]; then
        set_logpixels $((old_dpi))
    else
        "$wine_run" reg delete "$KEY" /v LogPixels /f >/dev/null 2>&1
    fi
    velmora_test_forget_work "$status"
}
trap finish EXIT

command -v Xvfb >/dev/null || velmora_test_skip "Xvfb is not installed"
[[ -x $wine_run ]] || velmora_test_fail "no Wine runner at $wine_run"
[[ -f $exe ]] || velmora_test_fail "no program at $exe"
[[ -f $probe ]] || velmora_test_fail "no probe at $probe"

old_dpi=$(logpixels)
# Room for the largest window with its frame.
velmora_start_display 1600x1200x24 xvfb_pid || velmora_test_fail "the virtual display did not start"
unset XAUTHORITY

reader_gone() { ! velmora_alive "$reader_pid"; }
for row in "96 368 480" "120 460 600" "144 552 720"; do
    read -r dpi want_width want_height <<<"$row"
    set_logpixels "$dpi" || velmora_test_fail "cannot set LogPixels to $dpi"
    [[ $(($(logpixels))) -eq $dpi ]] || velmora_test_fail "LogPixels reads back as $(logpixels), not $dpi"

    "$wine_run" "$exe" >"$work/reader-$dpi.log" 2>&1 &
    reader_pid=$!
    measured=$("$wine_run" "$probe" VelmoraForm 90 close 2>"$work/probe-$dpi.log" | tr -d '\r')
    [[ -n $measured ]] || velmora_test_fail "$dpi DPI: the probe found no main window"
    read -r size seen_dpi <<<"$measured"
    echo "$dpi DPI: client area $size (the system DPI as the probe sees it: $seen_dpi)"
    [[ $seen_dpi -eq $dpi ]] || velmora_test_fail "$dpi DPI: the system DPI is $seen_dpi, the setting did not take"
    [[ $size == "${want_width}x${want_height}" ]] ||
        velmora_test_fail "$dpi DPI: client area is $size, not ${want_width}x${want_height}"

    velmora_wait_for 30 reader_gone || velmora_test_fail "$dpi DPI: the program is still running 30 s after its window was closed"
    wait "$reader_pid"
    status=$?
    reader_pid=""
    ((status == 0)) || velmora_test_fail "$dpi DPI: the program exited with code $status after its window was closed"
done
echo "Windows DPI test under Wine passed"

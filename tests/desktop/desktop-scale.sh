#!/usr/bin/env bash
# The real reader at each desktop scale an X11 desktop can set: the whole
# factor (GDK_SCALE) and the font DPI (the Xft.dpi resource, which is how
# 125 % and 150 % are set there). For each row a fresh reader must open with
# the client area of the table below, drawn at that scale (the selected
# header's underline is as long and as thick as the scale makes it, not the
# 96-DPI one in a larger window).
#
#   desktop-scale.sh <reader>
#
# Runs on a display with a window manager (scripts/with-display.sh --wm):
# the window manager also keeps the X server from resetting, and with it
# the resources, between two readers. Exit 77 when a tool is missing.
set -uo pipefail

reader=$1
here=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=scripts/lib.sh
. "$here/../../scripts/lib.sh"
# shellcheck source=tests/lib/screen.sh
. "$here/../lib/screen.sh"

velmora_test_make_work
work=$VELMORA_TEST_WORK
reader_pid=""
finish() {
    local status=${1:-$?}
    velmora_stop "$reader_pid"
    velmora_test_forget_work "$status"
}
trap finish EXIT

velmora_test_need xrdb xdotool import convert
velmora_test_need_display

# The selected header's underline: 92 x 2 units at the bottom of the strip.
readonly ACCENT=0067C0

# factor, font DPI ("none": the resource is not set), client width, height
rows=(
    "1 none 368 480"
    "1 120 460 600"
    "1 144 552 720"
    "2 none 736 960"
    "2 120 920 1200"
    "2 144 1104 1440"
)

mkdir -p "$work/config" "$work/cache"
export WEBKIT_DISABLE_COMPOSITING_MODE=${WEBKIT_DISABLE_COMPOSITING_MODE:-1}
unset GDK_DPI_SCALE
for row in "${rows[@]}"; do
    read -r factor dpi want_width want_height <<<"$row"
    name="scale $factor, Xft.dpi $dpi"
    if [[ $dpi == none ]]; then
        xrdb -nocpp -remove
    else
        printf 'Xft.dpi:\t%s\n' "$dpi" | xrdb -nocpp -merge - || velmora_test_fail "$name: xrdb cannot set Xft.dpi"
    fi
    log=$work/reader-$factor-$dpi.log
    XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache GDK_SCALE=$factor \
        G_DEBUG=${G_DEBUG:-fatal-criticals} "$reader" >"$log" 2>&1 &
    reader_pid=$!
    window=""
    screen_wait_window "$reader_pid" Тальмерин 30 window || velmora_test_fail "$name: no window within 30 s"

    width=0 height=0
    screen_window_size "$window" width height || velmora_test_fail "$name: the window's size cannot be read"
    [[ $width -eq $want_width && $height -eq $want_height ]] ||
        velmora_test_fail "$name: client area is ${width}x${height}, not ${want_width}x${want_height}"

    # Drawn at the scale: the underline covers about 92 x 2 units, each unit
    # being want_width / 368 pixels on a side (a fractional edge row may be
    # blended, hence the margin).
    shot=$work/contents-$factor-$dpi.png
    underline() {
        screen_shot "$window" "$shot" || return 1
        local got
        got=$(screen_colour_count "$shot" "${want_width}x${want_height}+0+0" $ACCENT)
        ((got * 368 * 368 >= 92 * 2 * want_width * want_width * 3 / 4 &&
            got * 368 * 368 <= 92 * 2 * want_width * want_width * 5 / 4))
    }
    velmora_wait_for 20 underline ||
        velmora_test_fail "$name: the header's underline is not drawn at the scale (see $shot)"
    echo "$name: ${width}x${height}"

    velmora_stop "$reader_pid"
    reader_pid=""
done
echo "desktop scale test passed"

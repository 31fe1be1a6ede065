# Looking at a program's window on an X display, for the smoke tests: finding
# it, its size, screenshots and what is in them. Sourced after scripts/lib.sh.
# Regions are ImageMagick geometries (WxH+X+Y) in the screenshot's pixels;
# colours are RRGGBB.
# shellcheck shell=bash

# screen_window_size WINDOW WIDTH_VAR HEIGHT_VAR: the window's size, read
# from xdotool's KEY=VALUE lines without running them.
screen_window_size() {
    local _window=$1 _key _value _width="" _height=""
    while IFS='=' read -r _key _value; do
        [[ $_value =~ ^[0-9]+$ ]] || continue
        case $_key in
        WIDTH) _width=$_value ;;
        HEIGHT) _height=$_value ;;
        esac
    done < <(xdotool getwindowgeometry --shell "$_window" 2>/dev/null)
    [[ -n $_width && -n $_height ]] || return 1
    velmora_set_result "$2" "$_width"
    velmora_set_result "$3" "$_height"
}

# screen_find_window TITLE OUT_VAR: the largest visible window with exactly
# that title (Wine keeps a 1 x 1 window of the same title beside the real
# one).
screen_find_window() {
    local _title=$1 _id _w _h _best=0 _found=""
    for _id in $(xdotool search --onlyvisible --name "^$_title\$" 2>/dev/null); do
        screen_window_size "$_id" _w _h || continue
        if ((_w > 1 && _w * _h > _best)); then
            _best=$((_w * _h))
            _found=$_id
        fi
    done
    [[ -n $_found ]] || return 1
    velmora_set_result "$2" "$_found"
}

# screen_wait_window PID TITLE SECONDS OUT_VAR: waits until the process PID
# shows its window TITLE. Fails when the process ends or the seconds pass
# first (velmora_alive tells which).
screen_wait_window() {
    local _pid=$1 _title=$2 _seconds=$3 _out=$4
    velmora_set_result "$_out" ""
    velmora_wait_for "$_seconds" screen_window_or_end "$_pid" "$_title" "$_out" &&
        velmora_alive "$_pid" && [[ -n ${!_out} ]]
}
# screen_window_or_end PID TITLE OUT_VAR: the window is there, or the
# process has ended.
screen_window_or_end() { ! velmora_alive "$1" || screen_find_window "$2" "$3"; }

# screen_shot WINDOW FILE: a screenshot of the window alone.
screen_shot() { import -window "$1" "$2" 2>/dev/null; }

# screen_colour_count FILE REGION COLOUR: how many pixels of the region have
# the colour.
screen_colour_count() {
    convert "$1" -alpha off -crop "$2" +repage -format %c histogram:info:- 2>/dev/null |
        awk -v c="#$3" 'toupper($3) == c { n += $1 } END { print n + 0 }'
}

# screen_face FILE REGION: the colour most pixels of the region have
# (#RRGGBB).
screen_face() {
    convert "$1" -alpha off -crop "$2" +repage -format %c histogram:info:- 2>/dev/null |
        sort -rn | awk 'NR == 1 { print $3 }'
}

# screen_signature FILE REGION: a fingerprint of the region, to tell a still
# picture from a moving one.
screen_signature() { convert "$1" -alpha off -crop "$2" +repage -format '%#' info: 2>/dev/null; }

# screen_difference FILE_A FILE_B REGION: how many pixels of the region
# differ (by more than 2%) between the two screenshots.
screen_difference() {
    local a b
    a=$(mktemp --suffix=.png) b=$(mktemp --suffix=.png)
    convert "$1" -alpha off -crop "$3" +repage "$a" &&
        convert "$2" -alpha off -crop "$3" +repage "$b" &&
        compare -metric AE -fuzz 2% "$a" "$b" null: 2>&1 >/dev/null | awk '{ print int($1 + 0) }'
    rm -f "$a" "$b"
}

# screen_wait_settled SECONDS WINDOW REGION FILE [TEST]: waits until two
# screenshots of the window in a row agree on the region and TEST, if given,
# accepts the last one, which is left in FILE.
screen_wait_settled() {
    local _seconds=$1 _last=""
    shift
    velmora_wait_for "$_seconds" screen_settled _last "$@"
}
# screen_settled STATE_VAR WINDOW REGION FILE [TEST]: one look for
# screen_wait_settled; STATE_VAR keeps the signature of the look before.
screen_settled() {
    local _state=$1 _window=$2 _region=$3 _file=$4 _test=${5:-} _signature
    screen_shot "$_window" "$_file" || return 1
    _signature=$(screen_signature "$_file" "$_region")
    if [[ $_signature != "${!_state}" ]]; then
        velmora_set_result "$_state" "$_signature"
        return 1
    fi
    [[ -z $_test ]] || "$_test" "$_file"
}

# screen_click WINDOW X Y: a left click at a point of the window.
screen_click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

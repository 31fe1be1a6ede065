# A virtual X display, a window manager on it, and the accessibility bus.
# Needs messages.sh and processes.sh.
# shellcheck shell=bash

# velmora_start_display SCREEN PID_VAR: starts Xvfb on a display number that
# the X server picks itself (no race between two runs) and exports DISPLAY.
# SCREEN is WxHxDEPTH (1280x1024x24, say). PID_VAR gets the server's process.
# The server never resets: by default it does so whenever its last client
# leaves, and a program connecting in that moment (a reader started just as
# an xprop or xdotool ends) is turned away with "cannot open display", in
# 6 of 160 such starts here (none of 160 without the reset).
velmora_start_display() {
    local _screen=$1 _pid_var=$2 _fifo _number="" _pid
    velmora_set_result "$_pid_var" ""
    command -v Xvfb >/dev/null 2>&1 || {
        velmora_say "Xvfb is missing (scripts/setup-deps.sh installs it)"
        return 1
    }
    _fifo=$(mktemp -u "${TMPDIR:-/tmp}/velmora-display.XXXXXX")
    mkfifo "$_fifo" || return 1
    Xvfb -displayfd 3 -screen 0 "$_screen" -nolisten tcp -noreset 3>"$_fifo" >/dev/null 2>&1 &
    _pid=$!
    read -r -t 30 _number <"$_fifo"
    rm -f "$_fifo"
    if [[ -z $_number ]] || ! velmora_alive "$_pid"; then
        velmora_say "Xvfb did not start"
        velmora_stop "$_pid"
        return 1
    fi
    velmora_set_result "$_pid_var" "$_pid"
    export DISPLAY=:$_number
}

# velmora_start_window_manager LOG PID_VAR: starts openbox on $DISPLAY and
# waits until it manages the screen. PID_VAR gets its process.
velmora_start_window_manager() {
    local _log=${1:-/dev/null} _pid_var=$2 _pid
    openbox >"$_log" 2>&1 &
    _pid=$!
    velmora_set_result "$_pid_var" "$_pid"
    for _ in $(seq 1 200); do
        [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *"window id"* ]] && return 0
        velmora_alive "$_pid" || break
        sleep 0.1
    done
    velmora_say "the window manager did not start"
    return 1
}

# velmora_accessibility_bus_launcher OUT_VAR: OUT_VAR gets the accessibility
# bus launcher's path (at-spi2-core); fails when it is not installed.
velmora_accessibility_bus_launcher() {
    local _candidate
    for _candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
        if [[ -x $_candidate ]]; then
            velmora_set_result "$1" "$_candidate"
            return 0
        fi
    done
    return 1
}

# velmora_start_accessibility_bus LOG PID_VAR: on the session bus the caller
# runs in (dbus-run-session), starts the accessibility bus and turns
# accessibility on for everyone, as a running screen reader would. PID_VAR
# gets the launcher's process.
velmora_start_accessibility_bus() {
    local _log=$1 _pid_var=$2 _launcher
    velmora_set_result "$_pid_var" ""
    velmora_accessibility_bus_launcher _launcher || {
        velmora_say "the accessibility bus launcher (at-spi2-core) is not installed"
        return 1
    }
    "$_launcher" --launch-immediately >"$_log" 2>&1 &
    velmora_set_result "$_pid_var" $!
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true \
        >/dev/null 2>&1 || true
}

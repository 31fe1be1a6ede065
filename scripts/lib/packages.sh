# Packages of the distribution, and root rights to install them.
# Needs messages.sh.
# shellcheck shell=bash

# velmora_as_root CMD [ARGS]: runs a command as root, through sudo when
# needed; fails (status 126, as for a command that cannot run) without asking
# when neither is possible.
velmora_as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        velmora_say "need root or sudo for: $*"
        return 126
    fi
}

velmora_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# velmora_missing_packages OUT_VAR PKG...: the caller's array OUT_VAR gets the
# packages that are not installed.
velmora_missing_packages() {
    local -n _missing=$1
    local _package
    shift
    _missing=()
    for _package in "$@"; do velmora_installed "$_package" || _missing+=("$_package"); done
}

# velmora_apt_install PKG...: installs the packages that are not installed
# yet; the package lists are brought up to date first, and a running apt
# (another installation, the daily update) is waited for instead of failing.
velmora_apt_install() {
    local missing=()
    velmora_missing_packages missing "$@"
    ((${#missing[@]} > 0)) || return 0
    command -v apt-get >/dev/null 2>&1 || {
        velmora_say "missing packages: ${missing[*]} (no apt-get here: install them by hand)"
        return 1
    }
    velmora_say "installing ${missing[*]}"
    local apt=(apt-get -o DPkg::Lock::Timeout=900 -q)
    velmora_as_root env DEBIAN_FRONTEND=noninteractive "${apt[@]}" update &&
        velmora_as_root env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
}

# velmora_python_with CODE OUT_VAR: OUT_VAR gets a python that runs CODE
# (imports, say) without an error: the distribution's own first, which
# carries the packages installed with apt, then whatever python3 the PATH
# finds. Fails when neither does.
velmora_python_with() {
    local _candidate
    for _candidate in /usr/bin/python3 python3; do
        if "$_candidate" -c "$1" 2>/dev/null; then
            velmora_set_result "$2" "$_candidate"
            return 0
        fi
    done
    return 1
}

#!/usr/bin/env bash
# Installs Wine and makes a Wine prefix for running the Windows program and
# its tests:
#
#   setup-wine.sh <prefix directory>
#
# Installs (as root or through sudo, unless SKIP_SETUP=1): the i386
# architecture, wine, wine32:i386, fonts-wine. The prefix is 32-bit, like the
# program. Where the kernel cannot execute 32-bit code (some virtual machines
# run without it) the 32-bit loader cannot start at all; there wine64 and the
# 64-bit MinGW-w64 compiler are installed too and the prefix is 64-bit, so
# that the tests still run, cross-built for 64-bit Windows.
#
# Writes <prefix>/velmora-wine.env: WINEARCH, WINELOADER (the loader to run)
# and VELMORA_MINGW (the MinGW-w64 target the test binaries need), for
# scripts that source it. An existing, finished prefix is reused.
set -euo pipefail

prefix=${1:?usage: setup-wine.sh <prefix directory>}
mkdir -p "$(dirname "$prefix")"
prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")

# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
install_packages() {
    local missing=()
    velmora_missing_packages missing "$@"
    ((${#missing[@]} > 0)) || return 0
    [[ ${SKIP_SETUP:-0} != 1 ]] || velmora_die "missing packages: ${missing[*]}"
    velmora_apt_install "${missing[@]}" || velmora_die "could not install ${missing[*]}"
}

# ---- packages
if [[ $(dpkg --print-architecture) == amd64 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    [[ ${SKIP_SETUP:-0} != 1 ]] || velmora_die "the i386 architecture is not enabled"
    velmora_say "enabling the i386 architecture"
    velmora_as_root dpkg --add-architecture i386 || velmora_die "cannot enable the i386 architecture"
fi
install_packages wine wine32:i386 fonts-wine

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    arch=win32
    loader=/usr/lib/wine/wine
    mingw=i686-w64-mingw32
else
    velmora_say "this machine cannot execute 32-bit programs; using a 64-bit prefix"
    install_packages wine64 g++-mingw-w64-x86-64-posix
    arch=win64
    loader=/usr/lib/wine/wine64
    mingw=x86_64-w64-mingw32
fi

export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all WINELOADER=$loader
# No .NET runtime installer prompt. (The HTML engine stays: the web view
# needs its control, even though Debian ships no renderer behind it.)
export WINEDLLOVERRIDES=mscoree=

env_file=$prefix/velmora-wine.env
if [[ -f $env_file ]] && grep -qx "WINEARCH=$arch" "$env_file"; then
    velmora_say "reusing $prefix ($arch)"
    exit 0
fi

# ---- the prefix
rm -rf "$prefix"
velmora_say "creating $prefix ($arch)"
# No terminal input, and output only to the log: the services wineboot
# starts outlive it and must not hold the caller's pipes open.
"$loader" wineboot -i </dev/null >"$prefix.log" 2>&1 || {
    cat "$prefix.log" >&2
    velmora_die "wineboot failed"
}
wineserver -w

reg() { "$loader" reg add "$@" /f </dev/null >>"$prefix.log" 2>&1 || velmora_die "reg add $* failed"; }
# A crash must end the process, not wait for someone at a debugger dialog.
reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
# Windows stay plain X11 windows of the virtual display, not managed by a
# window manager that may be absent.
reg 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N
wineserver -w

# Wine's own fonts, so that text has glyphs without any other font package.
fonts=$prefix/drive_c/windows/Fonts
mkdir -p "$fonts"
cp /usr/share/wine/fonts/*.ttf "$fonts"/ 2>/dev/null || true

printf 'WINEARCH=%s\nWINELOADER=%s\nVELMORA_MINGW=%s\n' "$arch" "$loader" "$mingw" >"$env_file"
velmora_say "ready: $prefix ($arch)"

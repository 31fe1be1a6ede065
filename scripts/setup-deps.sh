#!/usr/bin/env bash
# Installs everything the build, the tests and the reader need on Debian or
# Ubuntu. Safe to run again: packages already present are left as they are.
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

packages=(
    build-essential cmake ninja-build pkg-config file
    libgtest-dev
    libgtk-3-dev libwebkit2gtk-4.1-dev
    xvfb xauth xdotool imagemagick openbox x11-utils librsvg2-bin
    # the X probe the smoke test builds from bench/xprobe.c
    libx11-dev libxext-dev libxtst-dev
    # the desktop's font DPI (xrdb) and a Wayland compositor for the scale
    # and Wayland tests
    x11-xserver-utils weston
    clang
    python3
    fonts-dejavu-core
    g++-mingw-w64-i686
    # the book server (the same the installed package runs) and its tests
    busybox systemd iproute2 curl
    # checks of the scripts and the package
    shellcheck lintian desktop-file-utils
    # the accessibility bus and its client for the screen reader test
    at-spi2-core dbus-x11 libatk-bridge2.0-0 python3-gi gir1.2-atspi-2.0 orca
    # the input storm's close requests, sent as a window manager sends them
    python3-xlib
)
velmora_apt_install "${packages[@]}"

# The fuzzer's runtime comes with clang; on some releases it is a separate package.
clang_major=$(clang --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
if [[ -n $clang_major ]] && apt-cache show "libclang-rt-${clang_major}-dev" >/dev/null 2>&1; then
    velmora_apt_install "libclang-rt-${clang_major}-dev"
fi
echo "setup-deps: all dependencies present"

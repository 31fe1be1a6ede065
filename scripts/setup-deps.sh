#!/usr/bin/env bash
# Installs everything the build, the tests and the reader need on Debian or
# Ubuntu. Safe to run again: packages already present are left as they are.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev
    libgtk-3-dev libwebkit2gtk-4.1-dev
    xvfb xauth xdotool imagemagick openbox x11-utils librsvg2-bin
    clang
    python3
    fonts-dejavu-core
    g++-mingw-w64-i686 librsvg2-bin
    at-spi2-core dbus-x11 libatk-bridge2.0-0 python3-gi gir1.2-atspi-2.0
)
# The fuzzer's runtime comes with clang; on some releases it is a separate package.
clang_major=""
if command -v clang >/dev/null 2>&1; then
    clang_major=$(clang --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
fi

if [[ $(id -u) -eq 0 ]]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    echo "setup-deps: need root or sudo to install packages" >&2
    exit 1
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]} > 0)); then
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update
    "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Now that clang is surely there, its fuzzer runtime where packaged apart.
if [[ -z $clang_major ]] && command -v clang >/dev/null 2>&1; then
    clang_major=$(clang --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
fi
if [[ -n $clang_major ]]; then
    rt="libclang-rt-${clang_major}-dev"
    if apt-cache show "$rt" >/dev/null 2>&1 &&
        ! dpkg-query -W -f='${Status}' "$rt" 2>/dev/null | grep -q "install ok installed"; then
        export DEBIAN_FRONTEND=noninteractive
        "${as_root[@]}" apt-get install -y --no-install-recommends "$rt"
    fi
fi
echo "setup-deps: all dependencies present"

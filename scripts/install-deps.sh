#!/usr/bin/env bash
# Installs, as root on Debian 12, the packages that building and testing need and
# that are not installed yet. Installs nothing when everything is present.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libc-bin libgtest-dev libgmock-dev googletest)
packages+=(python3 python3-irc)
# Everyday IRC clients that a test drives with their default settings: irssi (on a
# pseudo-terminal) and WeeChat without a terminal, with its FIFO and trigger plugins.
packages+=(irssi weechat-headless weechat-plugins)
# The service program's readiness and journal (libsystemd), systemd-analyze for the
# tests that check its unit file, and systemd-nspawn for the test that runs it under a
# real systemd in a container.
packages+=(libsystemd-dev systemd systemd-container)
# The fuzz targets: clang with libFuzzer and the sanitizer runtimes.
packages+=(clang-16 libfuzzer-16-dev libclang-rt-16-dev)
# The desktop program: Qt 6 Widgets, libxcb (the window manager's frame), a Japanese
# font with the metrics of the window's font, and a virtual X display (xauth for
# xvfb-run) with a window manager (and xprop to ask it) for the pictures of the window.
packages+=(qt6-base-dev libxcb1-dev fonts-ipafont-gothic xvfb xauth openbox x11-utils)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
fi

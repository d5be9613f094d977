#!/usr/bin/env bash
# Installs, as root on Debian 12, the packages that building and testing need and
# that are not installed yet. Installs nothing when everything is present.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libc-bin libgtest-dev libgmock-dev googletest)
packages+=(python3 python3-irc)

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

#!/usr/bin/env bash
# Runs the desktop window's screenshot tool on a virtual X display (Xvfb) with a window
# manager (openbox) that draws the window's frame and caption.
#   tests/desktop/capture-window.sh <DesktopScreenshot> <folder> <port>
set -euo pipefail
(($# == 3)) || { echo "usage: $0 <DesktopScreenshot> <folder> <port>" >&2; exit 2; }
tool=$1 folder=$2 port=$3
# The window on the real X platform, not the offscreen one the other tests use.
unset QT_QPA_PLATFORM
exec xvfb-run --auto-servernum --server-args="-screen 0 800x600x24" bash -c '
    # openbox runs its startup command once it manages the screen: the window is shown
    # only then, so that it is framed once and not taken over while it appears.
    ready=$(mktemp -u)
    openbox --sm-disable --startup "touch $ready" >/dev/null 2>&1 &
    manager=$!
    for _ in $(seq 100); do
        [[ -e $ready ]] && break
        sleep 0.1
    done
    rm -f "$ready"
    status=0
    "$0" "$1" "$2" || status=$?
    kill "$manager" 2>/dev/null || true
    wait "$manager" 2>/dev/null || true
    exit "$status"' "$tool" "$folder" "$port"

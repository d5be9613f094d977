#!/usr/bin/env bash
# Takes pictures of the desktop window's two pages, running with one client connected,
# on a virtual X display: installs what is missing (as root), builds, and captures.
#   scripts/desktop-screenshot.sh [--docs]
# The pictures go to <build>/desktop-screenshots/; --docs also copies them to docs/,
# where the README shows them. <build> is build/plain, or $TAVO_BUILD_DIR when set
# (an already configured build folder, of which only the tool is built).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
docs=false
for argument in "$@"; do
    case $argument in
        --docs) docs=true ;;
        *) echo "usage: $0 [--docs]" >&2; exit 2 ;;
    esac
done

"$top/scripts/install-deps.sh"
build=${TAVO_BUILD_DIR:-}
if [[ -z $build ]]; then
    "$top/scripts/build.sh" plain
    build="$top/build/plain"
else
    cmake --build "$build" --target DesktopScreenshot
fi

out="$build/desktop-screenshots"
"$top/tests/desktop/capture-window.sh" "$build/tests/desktop/DesktopScreenshot" "$out" 6667
echo "Pictures: $out"
if $docs; then
    mkdir -p "$top/docs"
    cp "$out/desktop-server-page.png" "$out/desktop-motd-page.png" "$top/docs/"
    echo "Copied to $top/docs"
fi

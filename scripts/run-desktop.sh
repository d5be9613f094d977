#!/usr/bin/env bash
# Installs what is missing (as root), builds the desktop program and opens its
# window. It needs a graphical display (DISPLAY or WAYLAND_DISPLAY set). Its settings
# and MOTD.txt are kept beside the built program, in build/plain/desktop/.
#   scripts/run-desktop.sh [/START] [/HIDE]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    echo "The window needs a display: run this in a desktop session (DISPLAY is not set)." >&2
    exit 1
fi
"$top/scripts/install-deps.sh"
# Only the window program, configured as scripts/build.sh configures the plain flavour.
cmake -S "$top" -B "$top/build/plain" -G Ninja -DTAVO_SANITIZE= \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build/plain" --target TavoServer
exec "$top/build/plain/desktop/TavoServer" "$@"

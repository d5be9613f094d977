#!/usr/bin/env bash
# Installs what is missing (as root), builds the tree and opens the desktop program's
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
"$top/scripts/build.sh" plain
exec "$top/build/plain/desktop/TavoServer" "$@"

#!/usr/bin/env bash
# Installs what is missing, builds the tree and runs the service program in the
# foreground on its built-in defaults (port 6667). Stop it with Ctrl-C or SIGTERM.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" plain
exec "$top/build/plain/daemon/TavoServerDaemon" "$@"

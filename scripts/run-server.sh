#!/usr/bin/env bash
# Installs what is missing, builds the service program (only it, into build/plain) and
# runs it in the foreground on its built-in defaults (port 6667). Stop it with Ctrl-C
# or SIGTERM.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
# Configured as scripts/build.sh configures the plain flavour.
cmake -S "$top" -B "$top/build/plain" -G Ninja -DTAVO_SANITIZE= \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build/plain" --target TavoServerDaemon
exec "$top/build/plain/daemon/TavoServerDaemon" "$@"

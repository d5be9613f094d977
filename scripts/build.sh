#!/usr/bin/env bash
# Configures and builds one flavour of the tree.
#   scripts/build.sh [plain|address|thread]   (default plain)
# Builds into build/<flavour>.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-plain}
sanitize=""
[[ $flavour == plain ]] || sanitize=$flavour
cmake -S "$top" -B "$top/build/$flavour" -G Ninja -DTAVO_SANITIZE="$sanitize" >/dev/null
cmake --build "$top/build/$flavour"

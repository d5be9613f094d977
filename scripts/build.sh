#!/usr/bin/env bash
# Configures and builds one flavour of the tree.
#   scripts/build.sh [plain|address|thread]   (default plain)
# Builds into build/<flavour>.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-plain}
sanitize=""
buildType=RelWithDebInfo
[[ $flavour == plain ]] || sanitize=$flavour
# The AddressSanitizer build also keeps assertions, so that misuse of an interface
# (a parameter index out of range, a reply with the wrong arguments) stops the test.
[[ $flavour == address ]] && buildType=Debug
cmake -S "$top" -B "$top/build/$flavour" -G Ninja -DTAVO_SANITIZE="$sanitize" \
    -DCMAKE_BUILD_TYPE="$buildType" >/dev/null
cmake --build "$top/build/$flavour"

#!/usr/bin/env bash
# Installs what is missing, builds the tree and runs every test: first the plain
# build, then the AddressSanitizer (with UndefinedBehaviorSanitizer) build and the
# ThreadSanitizer build. Fails when any build or test fails.
#   scripts/test.sh [flavour...]   (default: plain address thread)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"

flavours=("$@")
((${#flavours[@]})) || flavours=(plain address thread)

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$top/tests/tsan.supp"

for flavour in "${flavours[@]}"; do
    echo "=== $flavour build"
    "$top/scripts/build.sh" "$flavour"
    echo "=== $flavour tests"
    ctest --test-dir "$top/build/$flavour" --output-on-failure -j2
done

#!/usr/bin/env bash
# Installs what is missing, builds the tree and runs every test: first the plain
# build, then the AddressSanitizer (with UndefinedBehaviorSanitizer) build and the
# ThreadSanitizer build (the plain build also runs the test of the service under a real
# systemd, label "system", which needs root and is reported as skipped where it cannot
# boot one, the fault and load tests and a smoke run of the benchmark); last, each fuzz
# target for a few seconds (flavour "fuzz", scripts/fuzz.sh, $TAVO_FUZZ_SECONDS each,
# default 5). Fails when any build, test or fuzz target fails.
#   scripts/test.sh [flavour...]   (default: plain address thread fuzz)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"

flavours=("$@")
((${#flavours[@]})) || flavours=(plain address thread fuzz)

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$top/tests/tsan.supp"

for flavour in "${flavours[@]}"; do
    if [[ $flavour == fuzz ]]; then
        "$top/scripts/fuzz.sh" "${TAVO_FUZZ_SECONDS:-5}"
        continue
    fi
    echo "=== $flavour build"
    "$top/scripts/build.sh" "$flavour"
    echo "=== $flavour tests"
    ctest --test-dir "$top/build/$flavour" --output-on-failure -j2 -LE 'stress|system'
    # The fault and load tests (label "stress") run in the plain build only, one at
    # a time after the others, so that they load neither the other tests nor each other.
    if [[ $flavour == plain ]]; then
        # The service under a real systemd, booted in a container: once, on its own.
        echo "=== $flavour system test"
        ctest --test-dir "$top/build/$flavour" --output-on-failure -L system
        echo "=== $flavour stress tests"
        ctest --test-dir "$top/build/$flavour" --output-on-failure -L stress
        echo "=== $flavour benchmark smoke run"
        "$top/bench/smoke" --build-dir "$top/build/$flavour"
    fi
done

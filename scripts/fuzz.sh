#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (AddressSanitizer with
# UndefinedBehaviorSanitizer) and runs each for a bounded time, one after another,
# starting from its seed corpus and the inputs that once broke it. Fails on any
# crash, sanitizer report or failed check; prints each target's executions and
# coverage.
#   scripts/fuzz.sh [seconds per target] [target...]   (default: 10 s, every target)
# Builds into build/fuzz (or $TAVO_FUZZ_BUILD_DIR). What the fuzzers find goes to
# <build>/corpus/<target>, an input that fails to <build>/artifacts/<target>/, the
# fuzzer's output to <build>/logs/<target>.log.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
(($# > 0)) && shift
targets=("$@")
build=${TAVO_FUZZ_BUILD_DIR:-$top/build/fuzz}

"$top/scripts/install-deps.sh"
CC=clang-16 CXX=clang++-16 cmake -S "$top" -B "$build" -G Ninja -DTAVO_FUZZ=ON \
    -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ((${#targets[@]})); then
    cmake --build "$build" --target "${targets[@]/#/fuzz_}"
else
    cmake --build "$build" --target fuzz_programs
    for program in "$build"/fuzz/fuzz_*; do
        [[ -x $program ]] && targets+=("${program##*/fuzz_}")
    done
fi

export ASAN_OPTIONS=abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

dictionary() {
    case $1 in
        ini_file | version_block) echo "$top/fuzz/$1.dict" ;;
        *) echo "$top/fuzz/irc.dict" ;;
    esac
}

# The figures of libFuzzer's last status line and its final statistics.
figures() {
    local log=$1
    local status
    status=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1)
    printf '%10s executions  cov %6s  ft %6s  corpus %6s' \
        "$(sed -n 's/^stat::number_of_executed_units: //p' "$log")" \
        "$(grep -o 'cov: [0-9]*' <<<"$status" | cut -d' ' -f2)" \
        "$(grep -o 'ft: [0-9]*' <<<"$status" | cut -d' ' -f2)" \
        "$(grep -o 'corp: [0-9]*' <<<"$status" | cut -d' ' -f2)"
}

failed=()
summary=()
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target/
    log=$build/logs/$target.log
    mkdir -p "$corpus" "$artifacts" "$build/logs"
    kept=("$top/fuzz/corpus/$target")
    [[ -d $top/fuzz/regressions/$target ]] && kept+=("$top/fuzz/regressions/$target")
    echo "=== fuzz $target for ${seconds} s"
    if "$build/fuzz/fuzz_$target" "$corpus" "${kept[@]}" -dict="$(dictionary "$target")" \
        -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts" -print_final_stats=1 >"$log" 2>&1; then
        result=passed
    else
        result=FAILED
        failed+=("$target")
        tail -n 60 "$log"
    fi
    summary+=("$(printf '%-16s %-7s %s' "$target" "$result" "$(figures "$log")")")
done

printf '%s\n' "${summary[@]}"
if ((${#failed[@]})); then
    echo "fuzzing failed: ${failed[*]} (inputs in $build/artifacts)"
    exit 1
fi

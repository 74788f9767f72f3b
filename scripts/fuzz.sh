#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang and runs each one for a bounded time
# (FUZZ_SECONDS each, 15 by default) on a scratch copy of its seed corpus. A crash, a leak, a
# sanitizer report or a timeout fails the run; the failing input is kept under build/fuzz/run.
# The mutations follow a fixed seed (FUZZ_SEED, 1 by default), so that a run that passed on one
# machine passes on the next: a new finding comes from a longer run or another seed, by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-hardening-tools.sh
seconds=${FUZZ_SECONDS:-15}
seed=${FUZZ_SEED:-1}

cmake -S fuzz -B build/fuzz -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build build/fuzz -j2 >/dev/null

status=0
for source in fuzz/*Fuzz.cpp; do
    name=$(basename "$source" .cpp)
    work=build/fuzz/run/$name
    rm -rf "$work" && mkdir -p "$work/corpus"
    cp fuzz/corpus/"$name"/* "$work/corpus/" 2>/dev/null || true
    if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "build/fuzz/$name" -seed="$seed" -max_total_time="$seconds" -max_len=1024 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
        echo "fuzz $name: ${runs:-?} executions, no fault"
    else
        echo "fuzz $name: FAILED (input and log in $work)"
        tail -n 40 "$work/log"
        status=1
    fi
done
exit $status

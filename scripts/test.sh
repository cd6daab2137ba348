#!/usr/bin/env bash
# The whole test suite: set-up, then the plain build with the windows, the core under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the core under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
run_suite() {  # build dir, then cmake options
    local dir=$1; shift
    echo "=== $dir"
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

run_suite build -DKELVO_BENCH=ON  # the benchmarks are built, not run
run_suite build-asan -DKELVO_UI=OFF -DKELVO_SANITIZE=address,undefined
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    run_suite build-tsan -DKELVO_UI=OFF -DKELVO_SANITIZE=thread
# Fuzzers (clang, AddressSanitizer + UndefinedBehaviorSanitizer): replay the kept corpus and
# every input that ever crashed, then a million inputs each (about 6 minutes on 2 cores).
CC=clang CXX=clang++ run_suite build-fuzz -DKELVO_UI=OFF -DKELVO_TESTS=OFF -DKELVO_FUZZ=ON \
    -DKELVO_SANITIZE=address,undefined

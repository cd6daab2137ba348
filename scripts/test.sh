#!/usr/bin/env bash
# The whole test suite: set-up, then three builds, each with its tests (ctest), and the arm64
# build of the recorder, each a configure preset of CMakePresets.json (`cmake --preset NAME`
# makes one of them by hand):
#   asan   build-asan: the core, its tests and the fuzzers under AddressSanitizer + UBSan
#          (clang); one build serves both;
#   tsan   build-tsan: the core and its tests under ThreadSanitizer (g++);
#   plain  build: the whole program with the windows (g++) and its program-level suites (the
#          unit tests of the core and the simulator are the sanitizer builds'), the
#          benchmarks built but not run;
#   arm64  build-arm64: the core and kelvo-recorder with the arm64 cross compiler, for the
#          recorder's arm64 package (run under qemu against this machine's simulator).
# The Debian packages of build and build-arm64 are checked in a step of their own.
# The tests mostly wait (serial lines, timers, child processes), so each next build runs beside
# them at a lower priority, and the fuzzers (a million inputs each, all four at once) in the
# idle class: they take the processor time nothing else wants.
# The window tests, some of which time the GUI thread, come last, when no build is left. Ends
# with the wall and CPU time each step took; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
set -m  # each background step in a process group of its own, so that it can be stopped whole

jobs=$(nproc)
laps=()
running=()  # process groups of the background steps
lap() {     # seconds, what[, CPU seconds]
    laps+=("$(printf '%5d s  %-58s%s' "$1" "$2" "${3:+ $3 s CPU}")")
}
# cpu_of FILE: the CPU seconds (user + system) that `timed` wrote to FILE.
cpu_of() {
    awk '{ printf "%.0f", $1 + $2 }' "$1" 2>/dev/null || true
}
# timed FILE COMMAND...: runs COMMAND and writes the CPU time of it and its children to FILE.
timed() {
    local file=$1 TIMEFORMAT='%U %S'
    shift
    { time "$@" 2>&3; } 3>&2 2>"$file"
}
summary() {
    local status=$? group
    for group in "${running[@]}"; do kill -- "-$group" 2>/dev/null || true; done
    echo "=== Time per step"
    printf '%s\n' "${laps[@]}"
    printf '%5d s  in all%s\n' "$SECONDS" "$([ "$status" -eq 0 ] || echo ', FAILED')"
}
trap summary EXIT

start=$SECONDS
bash scripts/setup.sh
lap $((SECONDS - start)) "set-up"

# build PRESET DIR [CACHE-OPTIONS...]: configures with the preset (and the options) and builds
# into DIR, its binary directory; the output in DIR/build.log, the seconds it took in
# DIR/build.seconds, its CPU time in DIR/build.cpu.
build() {
    local preset=$1 dir=$2 start=$SECONDS status=0
    shift 2
    mkdir -p "$dir"
    timed "$dir/build.cpu" bash -c 'cmake --preset "$1" "${@:4}" && cmake --build "$2" -j "$3"' \
        _ "$preset" "$dir" "$jobs" "$@" >"$dir/build.log" 2>&1 || status=$?
    echo $((SECONDS - start)) >"$dir/build.seconds"
    return "$status"
}
# built STATUS DIR WHAT: notes the time of a build; its log and failure on a failed one.
built() {
    lap "$(cat "$2/build.seconds")" "$3" "$(cpu_of "$2/build.cpu")"
    if [ "$1" -ne 0 ]; then
        tail -n 80 "$2/build.log"
        echo "=== $3: failed"
        return "$1"
    fi
}
# in_background NICENESS COMMAND...: runs COMMAND (a function too) in the background at that
# niceness; $! is its process group.
in_background() {
    local niceness=$1
    shift
    (renice -n "$niceness" -p "$BASHPID" >/dev/null && "$@") &
    running+=("$!")
}
# suite_tests NAME DIR JOBS CTEST-OPTIONS...
suite_tests() {
    local name=$1 dir=$2 test_jobs=$3 start=$SECONDS status=0
    shift 3
    echo "=== $name: tests"
    (cd "$dir" && timed ctest.cpu ctest --output-on-failure -j "$test_jobs" --timeout 600 "$@") \
        || status=$?
    lap $((SECONDS - start)) "$name: tests" "$(cpu_of "$dir/ctest.cpu")"
    return "$status"
}

echo "=== address + UB sanitizers: build, with the fuzzers"
status=0
build asan build-asan || status=$?
built "$status" build-asan "address + UB sanitizers: build, with the fuzzers"

# The fuzzers replay the kept corpus and every input that ever crashed, then run a million
# inputs each; a run that outlasts its bound fails.
fuzz_start=$SECONDS
# They run in the idle class as well (SCHED_IDLE), so they take only what nothing else wants
# and never slow the builds on the longest road.
in_background 19 chrt --idle 0 bash -c "cd build-asan/tests/fuzz && $(declare -f timed) && \
    timed ../../fuzz.cpu ctest --output-on-failure -j 4 >../../fuzz.log 2>&1"
fuzzers=$!

# Each next build beside the tests before it (the tests, at the normal priority, come first).
# The plain tree leaves out the unit tests of the core and the simulator, which the two
# sanitizer builds run. Three builds at once beside the sanitizer tests held the simulator up
# long enough to fail timing tests, so the thread-sanitizer build runs beside the first suite
# and the plain and arm64 builds beside the second.
in_background 10 build tsan build-tsan
tsan=$!
suite_tests "address + UB sanitizers" build-asan "$jobs" -LE fuzz
status=0
wait "$tsan" || status=$?
built "$status" build-tsan "thread sanitizer: build (beside the tests before it)"

in_background 10 build plain build -DKELVO_UNIT_TESTS=OFF
plain=$!
in_background 15 build arm64 build-arm64
arm64=$!
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" suite_tests "thread sanitizer" build-tsan \
    "$jobs"
status=0
wait "$plain" || status=$?
built "$status" build "plain: build (beside the tests before it)"
status=0
wait "$arm64" || status=$?
built "$status" build-arm64 "arm64: build (beside the plain build)"

# The packages of both trees, side by side and beside the fuzzers: lintian on each, the unit
# verified, the arm64 recorder run under qemu against the simulator (mostly waiting).
echo "=== Debian packages"
start=$SECONDS
bash tests/package/check_arm64.sh build-arm64 build/tools/meter-sim/kelvo-meter-sim \
    >build-arm64/check.log 2>&1 &
arm64=$!
running+=("$arm64")
status=0
(cd build && ctest --output-on-failure --no-tests=error -R '^debian_package$') || status=$?
wait "$arm64" || status=$?
cat build-arm64/check.log
lap $((SECONDS - start)) "Debian packages: amd64 and arm64"
[ "$status" -eq 0 ] || exit "$status"

# No build is left; the fuzzers, if still running, are at the lowest priority and give the
# processor up to any test that wants it. Most of the window suite's tests wait (serial lines,
# timers, child processes, the program under Xvfb): twice as many at once as there are cores;
# those that time themselves are SERIAL. The sanitizer suites keep one per core: a simulator
# starved of the processor for longer than a read's wait loses a command, and their time is
# hidden by the builds beside them anyway.
plain_status=0
suite_tests "plain (whole program, windows)" build $((2 * jobs)) -E '^debian_package$' \
    || plain_status=$?

status=0
wait "$fuzzers" || status=$?
lap $((SECONDS - fuzz_start)) "fuzzers (beside everything since their build)" \
    "$(cpu_of build-asan/fuzz.cpu)"
grep -E "Test +#|Done [0-9]+ runs" build-asan/fuzz.log || true
if [ "$status" -ne 0 ]; then
    cat build-asan/fuzz.log
    exit "$status"
fi
exit "$plain_status"


#!/usr/bin/env bash
# What kelvo-recorder costs while it polls the simulator: CPU time of the process from /proc
# over a window after start-up, per second and per 5-second sample, with its resident memory.
#   bench/recorder_cpu.sh BUILD_DIR [SECONDS]   (default 300)
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-300}
dir=$(mktemp -d)
trap 'kill $recorder $sim 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$dir"' EXIT
"$build/tools/meter-sim/kelvo-meter-sim" --dir "$dir" >/dev/null 2>&1 &
sim=$!
sleep 1
"$build/recorder/kelvo-recorder" --dir "$dir" 2>"$dir/recorder.err" &
recorder=$!
sleep 15  # start-up and the first samples are not what the service costs day and night
ticks() { awk '{print $14 + $15}' "/proc/$recorder/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
rss=$(awk '/VmRSS/ {print $2}' "/proc/$recorder/status")
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v rss="$rss" 'BEGIN {
    cpu = t / hz
    printf "kelvo-recorder over %d s: %.2f s CPU = %.3f %% of a core, %.1f ms per sample; RSS %d KiB\n",
           s, cpu, 100 * cpu / s, 1000 * cpu / (s / 5), rss }'

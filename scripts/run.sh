#!/usr/bin/env bash
# Builds Kelvo and starts it in ./run/, its own working directory (dast.cfg, dast.data,
# Log.txt and any Com<n> links live there). By default the meter simulator is attached as
# Com1, so a first start shows live data; it is stopped when Kelvo exits.
#   --no-sim   use the machine's real serial ports instead of the simulator
set -euo pipefail
cd "$(dirname "$0")/.."

use_sim=1
for arg in "$@"; do
    case "$arg" in
        --no-sim) use_sim=0 ;;
        -h|--help) sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "run.sh: unknown option '$arg' (only --no-sim)" >&2; exit 2 ;;
    esac
done

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display: neither DISPLAY nor WAYLAND_DISPLAY is set." >&2
    echo "Kelvo is a desktop program; start it from a graphical session (or ssh -X)." >&2
    exit 1
fi

bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target kelvo kelvo-meter-sim

mkdir -p run
cd run
# A Com1 link left behind by a simulator that did not get to clean up points at a
# pseudo-terminal that no longer exists; a link to a real device is the user's and stays.
if [ -L Com1 ] && [ ! -e Com1 ]; then rm -f Com1; fi

sim_pid=
stop_sim() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
trap stop_sim EXIT

if [ "$use_sim" = 1 ]; then
    if [ -e Com1 ] || [ -L Com1 ]; then
        echo "run.sh: run/Com1 already exists (a device pinned by hand?); not starting the simulator" >&2
        echo "remove run/Com1 or use --no-sim" >&2
        exit 1
    fi
    ../build/tools/meter-sim/kelvo-meter-sim --dir . --port 1 &
    sim_pid=$!
    for _ in $(seq 50); do
        [ -L Com1 ] && break
        kill -0 "$sim_pid" 2>/dev/null || { echo "run.sh: the simulator did not start" >&2; exit 1; }
        sleep 0.1
    done
    [ -L Com1 ] || { echo "run.sh: the simulator made no Com1 link" >&2; exit 1; }
fi

../build/ui/kelvo

#!/usr/bin/env bash
# Makes the recorder's arm64 package from the arm64 preset's tree and checks it: lintian, the
# control fields and Depends (dpkg-shlibdeps for arm64), an AArch64 binary; then runs the
# packaged kelvo-recorder under qemu-user against the meter simulator of this machine's build
# until it has found the meter and recorded a few samples, stops it with SIGTERM and expects
# exit 0, dast.data written and the samples in the archive.
#   check_arm64.sh ARM64_BUILD_DIR METER_SIM
set -euo pipefail
source "$(dirname "$0")/package_checks.sh"
build=$(cd "$1" && pwd)
meter_sim=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
samples=3  # polls every 5 s

make_packages "$build"
[ ${#debs[@]} -eq 2 ] || fail "expected kelvo-recorder and its -dbgsym, got: ${debs[*]}"
lint "${debs[@]}"
deb=$work/out/kelvo-recorder_${version}_arm64.deb
root=$work/root
check_recorder "$deb" arm64 "$root"
check_debug "$deb" "$work/out/kelvo-recorder-dbgsym_${version}_arm64.deb" "$root"
recorder=$root/usr/bin/kelvo-recorder
readelf -h "$recorder" | grep -Eq 'Machine: +AArch64' || fail "kelvo-recorder is not an AArch64 binary"

# The run: the simulator links its pseudo-terminal as Com1 in the working directory.
run=$work/run
mkdir "$run"
"$meter_sim" --dir "$run" >"$work/sim.log" 2>&1 &
sim=$!
recorder_pid=
stop_all() {
    [ -z "$recorder_pid" ] || kill -KILL "$recorder_pid" 2>/dev/null || true
    kill "$sim" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap stop_all EXIT
for _ in $(seq 100); do [ -e "$run/Com1" ] && break; sleep 0.1; done
[ -e "$run/Com1" ] || fail "the simulator made no Com1: $(cat "$work/sim.log")"

log=$work/recorder.log
start=$SECONDS
qemu-aarch64 -L /usr/aarch64-linux-gnu "$recorder" --dir "$run" 2>"$log" &
recorder_pid=$!
# The meter is found at the first poll; then $samples more polls, 5 s apart.
until grep -q 'meter found on Com1' "$log"; do
    kill -0 "$recorder_pid" 2>/dev/null || fail "the recorder ended early: $(cat "$log")"
    [ $((SECONDS - start)) -lt 60 ] || fail "no meter found within 60 s: $(cat "$log")"
    sleep 0.2
done
sleep $((samples * 5 + 1))
kill -TERM "$recorder_pid"
status=0
wait "$recorder_pid" || status=$?
recorder_pid=
[ "$status" -eq 0 ] || fail "the recorder exited $status after SIGTERM: $(cat "$log")"
[ -s "$run/dast.data" ] || fail "no dast.data after SIGTERM: $(cat "$log")"
# The archive is on by default: its rows show SQLite for arm64 at work.
rows=$(sqlite3 "$run/kelvo-archive.sqlite" 'SELECT count(*) FROM power' 2>&1) ||
    fail "no archive: $rows"
[ "$rows" -ge 2 ] || fail "$rows samples in the archive after $samples polls"
echo "package check: $(basename -a "${debs[@]}" | tr '\n' ' ')passed; under qemu: $(grep -c . "$log") log lines, meter found, dast.data $(stat -c %s "$run/dast.data") bytes, $rows samples archived"

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
samples=3

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
# The arm64 root is the machine's own through multiarch (libc6:arm64 and the libraries it links):
# with -L /usr/aarch64-linux-gnu the loader would come from the cross toolchain's C library and
# libc.so.6 from libc6:arm64, two builds that disagree, and the first thread never starts.
qemu-aarch64 "$recorder" --dir "$run" 2>"$log" &
recorder_pid=$!
# archived COUNT: at least COUNT samples in the archive, which is on by default.
archived() {
    local rows
    rows=$(sqlite3 -readonly "$run/kelvo-archive.sqlite" 'SELECT count(*) FROM power' \
        2>/dev/null) || rows=0
    [ "${rows:-0}" -ge "$1" ]
}
# The meter is found at the first poll, then a sample is archived every 5 s; the bound leaves
# room for a loaded machine.
until grep -q 'meter found on Com1' "$log" && archived "$samples"; do
    kill -0 "$recorder_pid" 2>/dev/null || fail "the recorder ended early: $(cat "$log")"
    [ $((SECONDS - start)) -lt 120 ] ||
        fail "no meter found or fewer than $samples samples archived within 120 s: $(cat "$log")"
    sleep 0.5
done
stopped_at=$(date +%s.%N)
kill -TERM "$recorder_pid"
status=0
wait "$recorder_pid" || status=$?
recorder_pid=
[ "$status" -eq 0 ] || fail "the recorder exited $status after SIGTERM: $(cat "$log")"
[ -s "$run/dast.data" ] || fail "no dast.data after SIGTERM: $(cat "$log")"
awk -v written="$(stat -c %.9Y "$run/dast.data")" -v stopped="$stopped_at" \
    'BEGIN { exit !(written >= stopped) }' || fail "dast.data was not written on SIGTERM"
echo "package check: $(basename -a "${debs[@]}" | tr '\n' ' ')passed; under qemu: $(grep -c . "$log") log lines, meter found, $(sqlite3 -readonly "$run/kelvo-archive.sqlite" 'SELECT count(*) FROM power') samples archived in $((SECONDS - start)) s, dast.data $(stat -c %s "$run/dast.data") bytes"

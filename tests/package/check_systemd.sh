#!/usr/bin/env bash
# By hand, as root, on a machine that may take the package: the recorder's package under a
# real systemd. systemd boots as PID 1 in namespaces of its own (processes, mounts, network;
# private /tmp and /run, so nothing of the machine's is cleaned) with the broker as its only
# service; then the package is installed (not started), the simulator plays the meter as
# /var/lib/kelvo/Com1, `systemctl enable --now` starts the recorder, which must find the meter,
# archive and publish; a SIGKILL must be followed by a restart, `systemctl stop` by exit 0 with
# dast.data written. The package is purged and the user kelvo removed at the end.
#   check_systemd.sh KELVO_RECORDER_DEB KELVO_METER_SIM
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "check_systemd.sh: needs root" >&2; exit 2; }
deb=$(realpath "$1")
sim=$(realpath "$2")
fail() { echo "systemd check: $*" >&2; exit 1; }

boot=$(mktemp /var/tmp/kelvo-boot-XXXXXX)  # read after the namespace has its own /tmp
cat >"$boot" <<'EOF'
set -e
mount --make-rprivate /
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
mkdir -p /run/lock /run/systemd/system
printf '[Unit]\nRequires=basic.target mosquitto.service\nAfter=basic.target mosquitto.service\n' \
    >/run/systemd/system/kelvo-check.target
export container=kelvo-check
exec /lib/systemd/systemd --system --unit=kelvo-check.target --show-status=false
EOF
unshare --fork --pid --mount --net --uts --ipc --cgroup bash "$boot" >/dev/null 2>&1 &
outer=$!
pid1=
cleanup() {
    if [ -n "$pid1" ]; then
        nsenter -t "$pid1" -a systemctl stop kelvo-recorder kelvo-sim >/dev/null 2>&1 || true
        nsenter -t "$pid1" -a dpkg --purge kelvo-recorder >/dev/null 2>&1 || true
    fi
    kill -9 "$outer" ${pid1:+"$pid1"} 2>/dev/null || true
    deluser --system kelvo >/dev/null 2>&1 || true
    rm -f "$boot"
}
trap cleanup EXIT
ns() { nsenter -t "$pid1" -a "$@"; }

for _ in $(seq 50); do
    pid1=$(pgrep -P "$outer" || true)
    [ -n "$pid1" ] && ns systemctl is-system-running --wait >/dev/null 2>&1 && break
    sleep 0.2
done
[ "$(ns systemctl is-active mosquitto)" = active ] || fail "systemd or the broker did not start"

ns dpkg -i "$deb" >/dev/null
[ "$(ns systemctl is-enabled kelvo-recorder || true)" = disabled ] || fail "enabled by the package"
[ "$(ns systemctl is-active kelvo-recorder || true)" = inactive ] || fail "started by the package"
id -nG kelvo | grep -qw dialout || fail "user kelvo is not in dialout"

dir=/var/lib/kelvo
ns systemd-run --quiet --unit=kelvo-sim "$sim" --dir "$dir" --port 1
for _ in $(seq 50); do [ -L "$dir/Com1" ] && break; sleep 0.1; done
pty=$(readlink "$dir/Com1") || fail "the simulator made no Com1"
chgrp dialout "$pty" && chmod 660 "$pty"  # as udev gives a serial port to dialout
printf '[mqtt]\nenabled=true\nhost=127.0.0.1\nport=1883\n' >"$dir/kelvo.ini"
chown kelvo:kelvo "$dir/kelvo.ini"

ns systemctl enable --now kelvo-recorder >/dev/null 2>&1
topics=$(ns timeout 20 mosquitto_sub -h 127.0.0.1 -t 'kelvo/power/total' -C 3 -W 20 | wc -l)
[ "$topics" -eq 3 ] || fail "3 samples not published (got $topics)"
rows=$(sqlite3 -readonly "$dir/kelvo-archive.sqlite" 'SELECT count(*) FROM power')
[ "$rows" -ge 2 ] || fail "only $rows archived rows"
ns journalctl -u kelvo-recorder --no-pager | grep -q "meter found on Com1" || fail "no meter found"
[ "$(ns systemctl show -p User --value kelvo-recorder)" = kelvo ] || fail "not run as kelvo"

ns systemctl kill -s KILL kelvo-recorder
sleep 12  # RestartSec=10s
[ "$(ns systemctl show -p NRestarts --value kelvo-recorder)" -ge 1 ] || fail "not restarted"
[ "$(ns systemctl is-active kelvo-recorder)" = active ] || fail "not running after the restart"

ns systemctl stop kelvo-recorder
[ "$(ns systemctl show -p ExecMainStatus --value kelvo-recorder)" = 0 ] || fail "stop: not exit 0"
[ "$(stat -c %s "$dir/dast.data")" -eq 1106356 ] || fail "stop: dast.data not written"
echo "systemd check passed: installed disabled, $topics samples published, $rows rows archived," \
    "restarted after SIGKILL, stopped with exit 0 and dast.data written"

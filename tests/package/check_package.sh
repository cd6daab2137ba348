#!/usr/bin/env bash
# Makes the Debian packages of a configured and built tree for this machine's architecture and
# checks what a user installs: kelvo (the windows, launcher, desktop entry, simulator) and
# kelvo-recorder (the headless program, its systemd unit and maintainer scripts), each with its
# -dbgsym package; control fields, file lists, manual pages, copyright and changelog, lintian
# on every package, and `systemd-analyze verify` on the unit.
#   check_package.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/package_checks.sh"
build=$(cd "$1" && pwd)
arch=$(dpkg --print-architecture)

make_packages "$build"
[ ${#debs[@]} -eq 4 ] || fail "expected kelvo, kelvo-recorder and their -dbgsym, got: ${debs[*]}"
lint "${debs[@]}"
desktop=$work/out/kelvo_${version}_$arch.deb
recorder=$work/out/kelvo-recorder_${version}_$arch.deb

# The desktop package.
check_fields "$desktop" kelvo "$arch"
names=$(field "$desktop" Depends | tr ',' '\n' | awk '{print $1}')
for dep in libqt6widgets6 libqt6printsupport6 libqt6gui6 libqt6core6 qt6-qpa-plugins \
           fonts-wqy-zenhei fonts-dejavu-core libc6 libstdc++6; do
    grep -qxF "$dep" <<<"$names" || fail "kelvo: Depends lacks $dep"
done
check_documents "$desktop" kelvo kelvo kelvo-desktop kelvo-meter-sim
listing=$(files_of "$desktop")
for path in /usr/bin/kelvo /usr/bin/kelvo-desktop /usr/bin/kelvo-meter-sim \
            /usr/share/applications/kelvo.desktop /usr/share/icons/hicolor/48x48/apps/kelvo.png; do
    grep -qxF "$path" <<<"$listing" || fail "$path is not in kelvo"
done
# Nothing of the build or the tests travels with it.
if grep -Eq '_tests?$|/include/|\.a$' <<<"$listing"; then fail "unexpected files: $listing"; fi

root=$work/root
dpkg-deb -x "$desktop" "$root"
check_debug "$desktop" "$work/out/kelvo-dbgsym_${version}_$arch.deb" "$root"
for program in kelvo kelvo-desktop kelvo-meter-sim; do
    [ -x "$root/usr/bin/$program" ] || fail "/usr/bin/$program is not executable"
done
entry=$root/usr/share/applications/kelvo.desktop
grep -qx 'Exec=kelvo-desktop' "$entry" || fail "the desktop entry does not start the launcher"
grep -qx 'Icon=kelvo' "$entry" || fail "the desktop entry names another icon"
"$root/usr/bin/kelvo-meter-sim" --help >/dev/null || fail "the packaged simulator does not run"

# The recorder's package.
recorder_root=$work/recorder-root
check_recorder "$recorder" "$arch" "$recorder_root"
check_debug "$recorder" "$work/out/kelvo-recorder-dbgsym_${version}_$arch.deb" "$recorder_root"
[ "$("$recorder_root/usr/bin/kelvo-recorder" --version)" = "kelvo-recorder $version" ] ||
    fail "the packaged recorder is not version $version"

# The unit as systemd reads it, with its program and manual page taken from the package.
unit=$recorder_root/lib/systemd/system/kelvo-recorder.service
for line in 'User=kelvo' 'SupplementaryGroups=dialout' 'WorkingDirectory=/var/lib/kelvo' \
            'ExecStart=/usr/bin/kelvo-recorder --dir /var/lib/kelvo' 'Restart=on-failure' \
            'RestartPreventExitStatus=2' 'ProtectSystem=strict' 'ReadWritePaths=/var/lib/kelvo' \
            'NoNewPrivileges=yes' 'PrivateTmp=yes' 'ProtectHome=yes' \
            'WantedBy=multi-user.target'; do
    grep -qxF "$line" "$unit" || fail "the unit lacks $line"
done
# A private /dev would hide the serial ports.
if grep -Eq '^(PrivateDevices=(yes|true|1)|DevicePolicy=(closed|strict))' "$unit"; then
    fail "the unit hides the serial ports"
fi
mkdir "$work/unit"
sed "s|^ExecStart=/usr/bin/|ExecStart=$recorder_root/usr/bin/|" "$unit" \
    >"$work/unit/kelvo-recorder.service"
verified=$(MANPATH=$recorder_root/usr/share/man systemd-analyze verify \
    "$work/unit/kelvo-recorder.service" 2>&1) || fail "systemd-analyze verify: $verified"
[ -z "$verified" ] || fail "systemd-analyze verify: $verified"
echo "package check: $(basename -a "${debs[@]}" | tr '\n' ' ')passed"

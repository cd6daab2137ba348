#!/usr/bin/env bash
# Builds the Debian packages for amd64 (build-package/debs/) and arm64 (build-arm64/debs/):
#   kelvo_<version>_amd64.deb            the windows, launcher, desktop entry, simulator
#   kelvo-recorder_<version>_<arch>.deb  the headless recorder and its systemd unit
# and the -dbgsym package of each, with the debug symbols. Install with
#   sudo apt install ./build-package/debs/kelvo_*_amd64.deb
#   sudo apt install ./build-package/debs/kelvo-recorder_*_amd64.deb
# (on a 64-bit ARM machine: build-arm64/debs/kelvo-recorder_*_arm64.deb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# packages PRESET DIR: configures DIR with the preset and makes its packages in DIR/debs.
packages() {
    local start=$SECONDS
    cmake --preset "$1" >/dev/null
    cmake --build "$2" -j "$(nproc)" --target debs >"$2/debs.log" 2>&1 ||
        { tail -n 40 "$2/debs.log"; echo "package.sh: $1 failed"; return 1; }
    echo "$1: $((SECONDS - start)) s"
}
packages package build-package
packages arm64 build-arm64
ls -l build-package/debs/*.deb build-arm64/debs/*.deb

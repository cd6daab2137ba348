#!/usr/bin/env bash
# Builds the Debian package kelvo_<version>_<arch>.deb in build-package/: kelvo, its launcher,
# desktop entry and icon, and the meter simulator. Install it with
#   sudo apt install ./build-package/kelvo_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVO_TESTS=OFF >/dev/null
cmake --build build-package -j "$(nproc)" --target kelvo kelvo-meter-sim
(cd build-package && cpack -G DEB)
ls build-package/kelvo_*.deb

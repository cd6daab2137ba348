#!/usr/bin/env bash
# Builds Kelvo and starts it (see README).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DKELVO_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)" --target kelvo
exec build/ui/kelvo "$@"

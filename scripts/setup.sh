#!/usr/bin/env bash
# Installs what building, running and testing Kelvo needs on Debian 12, only what is missing:
# apt-get directly as root, through sudo otherwise.
set -euo pipefail

# QtCharts (with the OpenGL module its CMake package asks for) is only the chart benchmark's
# yardstick; the program never links it.
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev
          libbenchmark-dev qt6-base-dev libgl1-mesa-dev xvfb xauth fonts-dejavu-core
          fonts-wqy-zenhei libx11-dev python3 dpkg-dev
          libsqlite3-dev sqlite3 libmosquitto-dev mosquitto mosquitto-clients tzdata
          openssl nlohmann-json3-dev qt6-charts-dev libqt6opengl6-dev)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

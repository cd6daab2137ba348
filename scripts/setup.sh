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
          openssl nlohmann-json3-dev qt6-charts-dev libqt6opengl6-dev
          lintian systemd
          g++-aarch64-linux-gnu qemu-user
          libsqlite3-dev:arm64 libmosquitto-dev:arm64 libstdc++6:arm64)

# The recorder's arm64 package: Debian's cross compiler, the arm64 libraries it links beside
# the machine's own (multiarch; libstdc++6:arm64 lets dpkg-shlibdeps find the C++ library's
# package), qemu-user to run what it builds. lintian and systemd check the packages and the
# unit.
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    "${sudo[@]}" dpkg --add-architecture arm64
fi

# One dpkg-query for all: it names a package of several architectures NAME:ARCH.
native=$(dpkg --print-architecture)
declare -A installed
while read -r name status; do
    [ "$status" = installed ] && installed[$name]=1 && installed[${name%:"$native"}]=1
done < <(dpkg-query -W -f='${binary:Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null)
missing=()
for p in "${packages[@]}"; do
    [ -n "${installed[$p]:-}" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

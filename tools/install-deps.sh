#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
packages=(g++ cmake ninja-build qt6-base-dev qt6-charts-dev libqt6opengl6-dev libasio-dev libcli11-dev
          libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth x11-apps
          libsigrok-dev libzip-dev sigrok-firmware-fx2lafw sigrok-cli
          python3 python3-pyvisa python3-pyvisa-py prometheus-cpp-dev prometheus)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing missing packages: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs everything the build, the tests and the tools need on a fresh Debian 12 machine.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config git
    juce-modules-source juce-tools
    libasound2-dev libjack-jackd2-dev libfreetype-dev libfontconfig1-dev libx11-dev libxcomposite-dev
    libxcursor-dev libxext-dev libxinerama-dev libxrandr-dev libxrender-dev libgl1-mesa-dev
    libcurl4-openssl-dev libgtk-3-dev
    libgtest-dev libbenchmark-dev
    liblilv-dev lilv-utils lv2-dev
    xvfb xauth x11-utils imagemagick xdotool
    clang libclang-rt-14-dev
    python3 python3-pil python3-numpy fonts-dejavu-core fonts-dejavu-extra
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

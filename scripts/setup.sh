#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
#   scripts/setup.sh build   compiler, CMake
#   scripts/setup.sh test    also GoogleTest, Google Benchmark, 32-bit tool chain,
#                            qemu-i386, clang's fuzzer, muparser (benchmark only),
#                            Python and pngcheck (independent PNG readers)
set -euo pipefail

packages=(cmake make g++ binutils libsdl2-dev)
if [ "${1:-build}" = test ]; then
    packages+=(libgtest-dev googletest libbenchmark-dev g++-multilib qemu-user clang libclang-rt-14-dev
               libmuparser-dev python3 pngcheck xvfb xdotool x11-apps)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"

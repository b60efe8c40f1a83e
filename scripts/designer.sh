#!/usr/bin/env bash
# Builds pelmora, the texture designer, when needed (installing SDL2 first
# when it is missing) and starts it. Any word given is passed on: a word on
# pelmora's command line selects full screen (1024 x 768).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
cmake -S . -B build/designer -DCMAKE_BUILD_TYPE=Release -DVOXEL_TESTS=OFF -DVOXEL_BENCH=OFF >/dev/null
cmake --build build/designer -j"$(nproc)" --target pelmora
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "designer.sh: no display (DISPLAY is not set); pelmora needs a desktop session" >&2
    exit 1
fi
exec build/designer/pelmora/pelmora "$@"

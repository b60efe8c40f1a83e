#!/usr/bin/env bash
# The README's pictures of the exported cave, drawn by an independent
# renderer (Debian's Blender, Cycles on the CPU) from mapexport's .glb:
#   docs/render-glb.sh [CAVE.glb]
# (default out/cave.glb, which scripts/cave.sh writes) makes
# docs/cave-glb-top.png (from above) and docs/cave-glb-view.png (from inside,
# at the map's start position). Installs blender and python3-numpy when
# missing. A tool for the documentation: no test needs Blender.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
glb=$(realpath "${1:-$root/out/cave.glb}")
[ -f "$glb" ] || { echo "render-glb.sh: $glb is missing (bash scripts/cave.sh makes out/cave.glb)" >&2; exit 1; }
missing=()
for p in blender python3-numpy; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for view in top inside; do
    out=$root/docs/cave-glb-$([ $view = top ] && echo top || echo view).png
    # Into a file of its own first, so a failed render leaves the old picture.
    if ! blender -b --python-exit-code 1 --python "$root/docs/render-glb.py" -- "$glb" $view "$work/$view.png" \
            >"$work/log" 2>&1 || [ ! -s "$work/$view.png" ]; then
        cat "$work/log" >&2
        exit 1
    fi
    mv "$work/$view.png" "$out"
    echo "wrote $out"
done

#!/bin/sh
# The README's pictures of txtool render --size and --tile, from
# examples/rock.tx, made small for the docs with shrinkpng.py:
#   rock-1024-whole.png    --size 1024, scaled to 256 x 256
#   rock-1024-corner.png   --size 1024, its top-left 256 x 256 at full size
#   rock-384-tiled.png     --size 384 --tile, scaled to half, laid out 2 x 2
# Usage: sh docs/tiles/render.sh [BUILD-DIR]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
txtool=$build/tools/txtool
shrink="python3 $root/docs/examples/shrinkpng.py"
[ -x "$txtool" ] || { echo "render.sh: no txtool in $build (build the txtool target first)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
out=$root/docs/tiles
"$txtool" render "$root/examples/rock.tx" "$tmp/1024.png" --size 1024
$shrink "$tmp/1024.png" "$out/rock-1024-whole.png" --scale 4
$shrink "$tmp/1024.png" "$out/rock-1024-corner.png" --crop 0,0,256,256
"$txtool" render "$root/examples/rock.tx" "$tmp/384.png" --size 384 --tile
$shrink "$tmp/384.png" "$out/rock-384-tiled.png" --scale 2 --repeat 2
for f in "$out"/*.png; do
    echo "docs/tiles/$(basename "$f") $(wc -c < "$f") bytes"
done

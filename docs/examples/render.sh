#!/bin/sh
# Renders every example texture script in examples/ to docs/examples/NAME.png
# with txtool render (the designer's preview), then recompresses each picture
# for the docs. Usage: sh docs/examples/render.sh [BUILD-DIR]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
txtool=$build/tools/txtool
[ -x "$txtool" ] || { echo "render.sh: no txtool in $build (build the txtool target first)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for script in "$root"/examples/*.tx; do
    name=$(basename "$script" .tx)
    "$txtool" render "$script" "$tmp/$name.png"
    python3 "$root/docs/examples/shrinkpng.py" "$tmp/$name.png" "$root/docs/examples/$name.png"
    echo "docs/examples/$name.png $(wc -c < "$root/docs/examples/$name.png") bytes"
done

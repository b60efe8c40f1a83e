#!/usr/bin/env bash
# Times whole vrastik runs: seconds (median of several runs), visible voxels
# and nanoseconds per visible voxel, for a set of cave kinds, with built-in
# colours and with texture scripts.
#   bench/vrastik-runs.sh [repeats]
set -euo pipefail
cd "$(dirname "$0")/.."
repeats=${1:-3}
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)" --target vrastik mapview >/dev/null
vrastik=$(pwd)/build/release/vrastik/vrastik
mapview=$(pwd)/build/release/tools/mapview
examples=$(pwd)/examples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cases=(
    "2 32768 128|round terrain"
    "3 32768 128|round cave"
    "7 32768 128|miscellaneous cave"
    "12 32768 128|concave terrain"
    "1 32768 128|blocky cave"
    "5 32768 128|cellular cave"
    "3 8192 128|default cave, built-in colours"
    "3 8192 128 $examples/ground.tx|default cave, one script"
    "3 8192 128 $examples/ground.tx $examples/rock.tx $examples/moss.tx|default cave, three scripts"
)

printf '%-34s %-18s %9s %12s %12s\n' case arguments seconds visible ns/voxel
for c in "${cases[@]}"; do
    args=${c%%|*}
    name=${c#*|}
    times=()
    for ((i = 0; i < repeats; i++)); do
        start=$(date +%s.%N)
        "$vrastik" $args >/dev/null || [ $? -eq 210 ]
        end=$(date +%s.%N)
        times+=("$(awk -v a="$start" -v b="$end" 'BEGIN {print b - a}')")
    done
    median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
    visible=$("$mapview" mundra.gmv --stats | awk '/^coloured voxels/ {print $3}')
    shown=$(echo "$args" | sed "s#$examples/##g")
    printf '%-34s %-18s %9.2f %12d %12.0f\n' "$name" "${shown:0:18}" "$median" "$visible" \
        "$(awk -v t="$median" -v v="$visible" 'BEGIN {print t * 1e9 / v}')"
done

#!/usr/bin/env bash
# The .vox export of the default textured cave (out/mundra.gmv, made by
# scripts/cave.sh): median wall seconds of REPEATS runs, the file's size, its
# models and voxels, the palette's delta E figures and the largest peak
# resident memory (/usr/bin/time -v). Runs the mapexport program when the
# build has one, else the writer's own driver (bench/voxexport); both use
# every hardware thread.
#   bench/mapexport-vox.sh [BUILD_DIR] [REPEATS] [--solid]
# (default build/native, 5 repeats)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/native}" && pwd)
repeats=${2:-5}
extra=${3:-}
map=$root/out/mundra.gmv
[ -f "$map" ] || { echo "no $map: run scripts/cave.sh first" >&2; exit 1; }
tool=$build/tools/mapexport
[ -x "$tool" ] || tool=$build/bench/voxexport
[ -x "$tool" ] || { echo "neither mapexport nor bench/voxexport is built in $build" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

walls=()
peak=0
for ((i = 0; i < repeats; i++)); do
    /usr/bin/time -v -o "$work/time" "$tool" "$map" "$work/cave.vox" $extra >"$work/out" 2>"$work/err" || {
        cat "$work/err" >&2
        exit 1
    }
    walls+=("$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0
                for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$work/time")")
    kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
    ((kb > peak)) && peak=$kb
done
median=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
# "wrote ...: 16 models, 2442878 voxels, 9775464 bytes" and
# "palette: 255 colours for 47164; ΔE mean 0.63, largest 8.24, 99th percentile 2.83; 99.98 % ..."
read -r models voxels bytes <<<"$(sed -n 's/^wrote .*: \([0-9]*\) models, \([0-9]*\) voxels, \([0-9]*\) bytes$/\1 \2 \3/p' "$work/out")"
read -r mean largest p99 within <<<"$(sed -n 's/^palette: .*mean \([0-9.]*\), largest \([0-9.]*\), 99th percentile \([0-9.]*\); \([0-9.]*\) %.*/\1 \2 \3 \4/p' "$work/out")"

echo "tool: $tool, $(nproc) hardware threads; $repeats runs; walls: ${walls[*]}"
cat "$work/err"
printf '%-22s %8s %9s %7s %10s %8s %8s %8s %9s %8s\n' case "wall s" "size MB" models voxels "ΔE mean" largest p99 "<= 5 %" "peak MB"
printf '%-22s %8.3f %9.1f %7d %10d %8s %8s %8s %9s %8.1f\n' "default cave .vox${extra:+ $extra}" "$median" \
    "$(awk -v b="$bytes" 'BEGIN {print b / 1e6}')" "$models" "$voxels" "$mean" "$largest" "$p99" "$within" \
    "$(awk -v k="$peak" 'BEGIN {print k / 1024}')"

#!/usr/bin/env bash
# mapexport on the default textured cave (scripts/cave.sh's map): the size of
# each file, the median wall time of REPEATS runs on THREADS threads and the
# largest peak resident memory (/usr/bin/time -v). The map is generated
# afresh in a temporary folder; the machine's load is printed before and
# after, since other processes on the cores lengthen the wall times.
#   bench/mapexport.sh [BUILD_DIR] [REPEATS] [THREADS]
# (default build/release, 5 repeats, 2 threads; the build needs the targets
# vrastik and mapexport). When the tests of that build have installed the
# Khronos glTF validator, its report on each .glb follows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
repeats=${2:-5}
threads=${3:-2}
vrastik=$build/vrastik/vrastik
mapexport=$build/tools/mapexport
for program in "$vrastik" "$mapexport" /usr/bin/time; do
    [ -x "$program" ] || { echo "mapexport.sh: $program is missing" >&2; exit 1; }
done
e=$root/examples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$vrastik" 3 8192 128 "$e/ground.tx" "$e/rock.tx" "$e/moss.tx" "$e/crystal.tx" "$e/sandstone.tx" >/dev/null \
    || [ $? -eq 210 ] || { echo "mapexport.sh: vrastik failed" >&2; exit 1; }

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# One run: "wall_seconds peak_kb"; what the writer printed stays in $work/out.
run() {
    /usr/bin/time -v -o "$work/t" "$mapexport" mundra.gmv "$work/$1" --threads "$threads" $2 >"$work/out"
    awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]}
                /Maximum resident/ {m = $2} END {print s, m}' "$work/t"
}

echo "load before: $(uptime)"
echo "mapexport on the default textured cave, $threads threads, median of $repeats runs"
printf '%-30s %14s %9s %9s\n' case bytes "wall s" "peak MB"
cases=("cave.glb|" "cave-quantized.glb|--quantize" "cave.vox|")
for c in "${cases[@]}"; do
    out=${c%%|*}
    options=${c#*|}
    walls=""
    peak=0
    for ((i = 0; i < repeats; i++)); do
        read -r w m <<< "$(run "$out" "$options")"
        walls+="$w "
        peak=$((m > peak ? m : peak))
    done
    wall=$(echo $walls | tr ' ' '\n' | median)
    printf '%-30s %14d %9.2f %9.1f\n' "$out $options" "$(stat -c %s "$work/$out")" "$wall" \
        "$(awk -v p="$peak" 'BEGIN {print p / 1024}')"
    # The .vox writer's palette line: its colour errors.
    grep '^palette:' "$work/out" | sed 's/^/    /' || true
done
echo "load after: $(uptime)"
validator=$build/tests/tools/gltfvalidator/validate.js
if [ -f "$validator" ] && command -v node >/dev/null; then
    for c in "${cases[@]}"; do
        [[ ${c%%|*} == *.glb ]] || continue
        echo "glTF validator on ${c%%|*}: $(node "$validator" "$work/${c%%|*}" | head -1)"
    done
fi

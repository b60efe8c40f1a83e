#!/usr/bin/env bash
# Throughput of scripts/batch.sh against one vrastik run: 16 seeds of the
# default cave (the round cave of scripts/cave.sh: 8192 rocks, ground 128,
# the five example scripts; seeds 3, 19, 35, ... so each is that kind), one
# thread per job and as many jobs as cores, against the one-thread time of
# a single run (seed 3). Interleaved, REPEATS times: a single run, then the
# batch; the medians give
#   ideal    = cores x 60 / one-thread seconds   caves a minute
#   measured = caves a minute of the batch (its own count: the parallel run,
#              each seed's thumbnail, figures and hash included)
#   share    = measured / ideal                  (the target is 90 % or more)
# and the peak resident memory of a job: vrastik's with one thread and
# mapview's (the thumbnail), as /usr/bin/time reports them. On a machine
# other work shares, the wall figures are low; the processor seconds a cave
# costs in the batch (all its processes) against a single run's say what
# the batch itself adds, whatever the load.
#   bench/batch-throughput.sh [BUILD_DIR] [REPEATS] [SEEDS]
# (default build/release, built as scripts/cave.sh builds it; 3 repeats; 16 seeds)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
repeats=${2:-3}
count=${3:-16}
if [ -n "${1:-}" ]; then
    build=$(cd "$1" && pwd)
else
    bash "$root/scripts/setup.sh" batch
    build=$root/build/release
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVOXEL_TESTS=OFF -DVOXEL_BENCH=OFF \
        -DVOXEL_SANITIZE=OFF -DVOXEL_M32=OFF -DVOXEL_FUZZ=OFF -DVOXEL_WERROR=OFF > /dev/null
    cmake --build "$build" -j"$(nproc)" --target vrastik mapview > /dev/null
fi
e=$root/examples
textures="$e/ground.tx $e/rock.tx $e/moss.tx $e/crystal.tx $e/sandstone.tx"
seeds=$(seq -s, 3 16 $((3 + 16 * (count - 1))))
cores=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

echo "load before: $(uptime)"
singles=() rates=() singlecpus=() batchcpus=()
for ((i = 0; i < repeats; i++)); do
    mkdir -p "$work/single"
    # shellcheck disable=SC2086
    (cd "$work/single" && VRASTIK_THREADS=1 /usr/bin/time -o "$work/time" -f "%e %M %U %S" \
        "$build/vrastik/vrastik" 3 8192 128 $textures > /dev/null) || true
    read -r wall vrastikkb user sys < <(tail -1 "$work/time")   # after "Command exited with non-zero status 210"
    singles+=("$wall")
    singlecpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')")
    rm -rf "$work/batch"
    /usr/bin/time -o "$work/time" -f "%U %S" bash "$root/scripts/batch.sh" "$work/batch" --seeds "$seeds" \
        --textures "$textures" --build "$build" > "$work/batch.txt" 2>&1 || { cat "$work/batch.txt"; exit 1; }
    read -r user sys < "$work/time"
    batchcpus+=("$(awk -v u="$user" -v s="$sys" -v n="$count" 'BEGIN { print (u + s) / n }')")
    rate=$(sed -n 's/.*s, \([0-9.]*\) caves a minute.*/\1/p' "$work/batch.txt")
    rates+=("$rate")
    echo "repeat $((i + 1)): single run ${wall} s, batch $rate caves a minute"
done
/usr/bin/time -o "$work/time" -f "%M" "$build/tools/mapview" "$work/single/mundra.gmv" --top "$work/t.png" \
    --size 128x128 > /dev/null
mapviewkb=$(cat "$work/time")
echo "load after: $(uptime)"

single=$(printf '%s\n' "${singles[@]}" | median)
rate=$(printf '%s\n' "${rates[@]}" | median)
singlecpu=$(printf '%s\n' "${singlecpus[@]}" | median)
batchcpu=$(printf '%s\n' "${batchcpus[@]}" | median)
awk -v t="$single" -v r="$rate" -v c="$cores" -v n="$count" -v vk="$vrastikkb" -v mk="$mapviewkb" \
    -v sc="$singlecpu" -v bc="$batchcpu" 'BEGIN {
    ideal = c * 60 / t
    printf "%d seeds of the default cave, %d jobs x 1 thread on %d cores\n", n, c, c
    printf "one-thread run (median)   %8.2f s\n", t
    printf "ideal                     %8.1f caves a minute (cores x 60 / one-thread seconds)\n", ideal
    printf "batch (median)            %8.1f caves a minute\n", r
    printf "share of ideal            %8.1f %% (target 90 %%)\n", 100 * r / ideal
    printf "processor s a cave        %8.2f s in the batch, %.2f s a single run (%.1f %%)\n", bc, sc, 100 * sc / bc
    printf "peak memory per job       %8.1f MB vrastik (1 thread), %.1f MB mapview (thumbnail)\n", vk / 1024, mk / 1024
}'

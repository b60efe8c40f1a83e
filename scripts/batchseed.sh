#!/usr/bin/env bash
# One seed of a batch, the same step for every runner (scripts/batch.sh runs
# it through GNU parallel, scripts/batch.sbatch in each Slurm task):
#   bash scripts/batchseed.sh [--build DIR] [--threads T] [--export glb,vox] OUTDIR SEED ROCKS GROUND [TX...]
# (--build: the build directory whose vrastik and mapview it runs, build/release by default)
# In OUTDIR/SEED/ it runs vrastik, then writes
#   mundra.gmv, vrastik.log   vrastik's own (the same bytes as a direct run)
#   vrastik.out               vrastik's console, kept only when the seed failed
#   thumb.png                 the top view, 128 x 128
#   cave.glb, cave.vox        the exports asked for (mapexport)
#   result.csv                the seed's line of summary.csv, written last
# result.csv is removed first and written only when everything else is
# complete, so a folder without it is never taken for a finished seed. A run
# that was killed leaves at most temporary files (NAME.XXXXXXXX.tmp, the maps
# and pictures are written through them and renamed); they are removed here
# before the next run. vrastik's success is its exit code 1234, which a shell
# sees as 210; anything else is the seed's failure.
# When GNU parallel runs the step on another host (--hosts), the folder is
# made in the job's own working folder and parallel returns it into OUTDIR.
# Exit status: 0 the seed is done, 1 it failed, 2 a bad command line.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/batchlib.sh"

usage() {
    echo "usage: batchseed.sh [--build DIR] [--threads T] [--export glb,vox] OUTDIR SEED ROCKS GROUND [TX...]" >&2
    exit 2
}

build=$root/build/release
threads=1
exports=""
while [ $# -gt 0 ]; do
    case $1 in
    --build | --threads | --export)
        [ $# -ge 2 ] || usage
        case $1 in
        --build) build=$2 ;;
        --threads) threads=$2 ;;
        --export) exports=$2 ;;
        esac
        shift 2
        ;;
    *) break ;;
    esac
done
[ $# -ge 4 ] && [[ $2 =~ ^[0-9]{1,10}$ ]] && wholenumber "$3" > /dev/null && wholenumber "$4" > /dev/null || usage
outdir=$1 seed=$2 rocks=$3 ground=$4
shift 4
vrastik=$build/vrastik/vrastik
mapview=$build/tools/mapview
mapexport=$build/tools/mapexport
if [ -n "${PARALLEL_SSHLOGIN:-}" ] && [ "$PARALLEL_SSHLOGIN" != : ]; then
    outdir=.
fi

dir=$outdir/$seed
started=$(date +%s%N)
seconds=""

# The seed's line of summary.csv, through a temporary file and a rename.
record() {
    local status=$1 bytes=${2:-} sha=${3:-} coloured=${4:-} air=${5:-}
    echo "$seed,$(seedkind "$seed"),$rocks,$ground,$seconds,$status,$bytes,$sha,$coloured,$air" \
        | replacefile result.csv
}

# The seed failed: its line says why, vrastik's console stays for reading
# (without its progress bar, a line per row of the map).
fail() {
    [ -f vrastik.out ] && tr '\r' '\n' < vrastik.out | grep -v '^|' | replacefile vrastik.out
    record "failed: $1"
    echo "seed $seed failed: $1 (see $dir/vrastik.log and $dir/vrastik.out)" >&2
    exit 1
}

# "exit N", or "killed by signal N" for a status of 128 + N (signals go up to
# 64; vrastik's own failure, -1, is 255).
exitstatus() {
    [ "$1" -gt 128 ] && [ "$1" -le 192 ] && echo "killed by signal $(($1 - 128))" || echo "exit $1"
}

if ! mkdir -p "$dir" || ! cd "$dir"; then
    echo "seed $seed failed: cannot make the folder $dir" >&2
    exit 1
fi
rm -f result.csv ./*.tmp vrastik.out
for tool in "$vrastik" "$mapview"; do
    [ -x "$tool" ] || { echo "no $tool (build it first)" > vrastik.out; fail "no $tool"; }
done

status=0
VRASTIK_THREADS=$threads "$vrastik" "$seed" "$rocks" "$ground" "$@" > vrastik.out 2>&1 || status=$?
elapsed=$((($(date +%s%N) - started) / 1000000))
seconds=$(printf '%d.%03d' $((elapsed / 1000)) $((elapsed % 1000)))
rm -f ./*.tmp   # left by a vrastik that was killed
[ $status -eq 210 ] || fail "vrastik $(exitstatus $status)"

# The figures: coloured voxels and the air fraction from mapview --stats.
coloured="" air=""
while IFS= read -r line; do
    case $line in
    "coloured voxels "*) coloured=${line##* } ;;
    "air fraction "*) air=${line##* } ;;
    esac
done < <("$mapview" mundra.gmv --stats 2>> vrastik.out)
[ -n "$coloured" ] && [ -n "$air" ] || fail "mapview --stats gave no figures"
"$mapview" mundra.gmv --top thumb.png --size ${batchthumb}x$batchthumb > /dev/null 2>> vrastik.out ||
    fail "thumbnail: mapview $(exitstatus $?)"

IFS=, read -ra formats <<< "$exports"
for format in "${formats[@]}"; do
    [ -x "$mapexport" ] || fail "no $mapexport for --export $format (tools/mapexport, not built)"
    "$mapexport" mundra.gmv "cave.$format" >> vrastik.out 2>&1 || fail "$format export: mapexport $(exitstatus $?)"
done

bytes=$(stat -c %s mundra.gmv)
# openssl's SHA-256 uses the processor's SHA instructions: 4 times as fast as sha256sum here
sha=$(openssl dgst -sha256 -r mundra.gmv 2> /dev/null || sha256sum mundra.gmv)
record ok "$bytes" "${sha%% *}" "$coloured" "$air" || exit 1
rm -f vrastik.out

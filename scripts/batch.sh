#!/usr/bin/env bash
# Many caves: a batch of seeds on GNU parallel, on this machine or on ssh
# hosts; each seed in OUTDIR/SEED/ (scripts/batchseed.sh), then OUTDIR/summary.csv
# and OUTDIR/contact.png. Installs and builds what it needs as scripts/cave.sh
# does (in build/release), unless --build names a build directory to use.
# The folder layout is described in scripts/batchlib.sh; the README's "Many
# caves" tells how to choose jobs and threads, and how to run on Slurm.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/batchlib.sh"

usagetext="usage: bash scripts/batch.sh OUTDIR --seeds LIST [--rocks N] [--ground N] [--textures 'PATTERN ...']
                             [--export glb,vox] [--jobs J] [--threads T] [--hosts FILE] [--build DIR]
       bash scripts/batch.sh OUTDIR --resume [the same options]   run the seeds not done yet
       bash scripts/batch.sh OUTDIR --summarise                   write summary.csv and contact.png again
  --seeds      seeds and ranges: 1-500, 7, 1,4,9-12 (0..$batchmaxseed, at most $batchmaxseeds)
  --rocks      vrastik's number_of_rocks (default 8192); --ground its ground_position (default 128)
  --textures   texture scripts, files or patterns in quotes, in order (the first colours the ground)
  --export     also write cave.glb and/or cave.vox in each seed folder (tools/mapexport)
  --jobs       vrastik runs at once (default: cores / threads, on each host)
  --threads    VRASTIK_THREADS of each run (default 1)
  --hosts      a GNU parallel --sshloginfile: the toolkit, built, and the texture scripts at the
               same paths on every host; results come back into OUTDIR
  --build      use this build directory's vrastik and mapview instead of building build/release"

usage() {
    echo "$usagetext" >&2
    exit 2
}

[ $# -ge 2 ] || usage
outdir=$1
shift
declare -A batchset=([seeds]="" [rocks]=8192 [ground]=128 [export]="" [textures]="")
parsesettings "$@" || exit 2
mode=run jobs="" threads=1 hosts="" build=""
set -- "${batchrest[@]+"${batchrest[@]}"}"
while [ $# -gt 0 ]; do
    case $1 in
    --resume) mode=resume; shift ;;
    --summarise) mode=summarise; shift ;;
    --jobs | --threads | --hosts | --build)
        [ $# -ge 2 ] || { batcherror "$1 needs a value"; exit 2; }
        declare "${1#--}=$2"
        shift 2
        ;;
    *) batcherror "unknown option '$1'"; usage ;;
    esac
done
for value in "$jobs" "$threads"; do
    [ -z "$value" ] || [[ $value =~ ^[1-9][0-9]{0,3}$ ]] ||
        { batcherror "--jobs and --threads want a whole number from 1 to 9999, not '$value'"; exit 2; }
done
[ -z "$hosts" ] || [ -r "$hosts" ] || { batcherror "--hosts: cannot read '$hosts'"; exit 2; }

# ---- the folder and its settings ---------------------------------------------------

if [ $mode = summarise ]; then
    readconf "$outdir" || exit 1
    summarise "$outdir" || exit 1
    echo "summary: $summarydone done, $summaryfailed failed, $summaryunfinished unfinished: $outdir/summary.csv"
    [ $((summaryfailed + summaryunfinished)) -eq 0 ]
    exit
fi
# --resume takes the folder's settings unless they are given again (and then
# they must agree); a new batch wants a new or empty folder.
if [ $mode = resume ] && [ $batchgiven = 0 ]; then
    readconf "$outdir" || exit 2
elif [ -f "$outdir/batch.conf" ]; then
    [ $mode = resume ] || { batcherror "$outdir already holds a batch; --resume completes it"; exit 2; }
elif [ -e "$outdir" ] && [ -n "$(ls -A "$outdir" 2> /dev/null)" ]; then
    batcherror "$outdir is not empty; a batch wants a new or empty folder"
    exit 2
fi
list=$(mktemp)
trap 'rm -f "$list"' EXIT
seedlist "$list" || exit 2

# ---- tools -----------------------------------------------------------------------------

bash "$root/scripts/setup.sh" batch
if [ -z "$build" ]; then
    build=$root/build/release
    targets=(vrastik mapview)
    [ -z "${batchset[export]}" ] || targets+=(mapexport)
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVOXEL_TESTS=OFF -DVOXEL_BENCH=OFF \
        -DVOXEL_SANITIZE=OFF -DVOXEL_M32=OFF -DVOXEL_FUZZ=OFF -DVOXEL_WERROR=OFF > /dev/null
    cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
fi
build=$(cd "$build" && pwd)
for tool in vrastik/vrastik tools/mapview; do
    [ -x "$build/$tool" ] || { batcherror "no $build/$tool: build it first"; exit 1; }
done
if [ -n "${batchset[export]}" ] && [ ! -x "$build/tools/mapexport" ]; then
    batcherror "--export needs $build/tools/mapexport, which is not built"
    exit 1
fi

mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
claimfolder "$outdir" "$list" || exit 2
readconf "$outdir"

# ---- the run ---------------------------------------------------------------------------

# The seeds not done yet, in the batch's order.
todo() {
    local seed
    while IFS= read -r seed; do
        seedstate "$outdir" "$seed"
        [ "$seedstatus" = ok ] || echo "$seed"
    done < "$outdir/seeds"
}

if [ -z "$jobs" ]; then
    if [ -n "$hosts" ]; then
        jobs="$(( 100 / threads > 0 ? 100 / threads : 1 ))%"   # of each host's cores
    else
        jobs=$(( $(nproc) / threads > 0 ? $(nproc) / threads : 1 ))
    fi
fi
engine=(parallel --jobs "$jobs" --joblog "+$outdir/joblog")
[ -t 2 ] && engine+=(--bar)
if [ -n "$hosts" ]; then
    # On another host the step works in a folder of parallel's own, which is
    # returned into OUTDIR and then removed there; jobs on ":" (this machine)
    # write straight into OUTDIR.
    engine+=(--sshloginfile "$(realpath "$hosts")" --workdir ... --return {} --cleanup)
fi
step=(bash "$root/scripts/batchseed.sh" --build "$build" --threads "$threads")
[ -z "${batchset[export]}" ] || step+=(--export "${batchset[export]}")
step+=("$outdir" {} "${batchset[rocks]}" "${batchset[ground]}" "${batchtextures[@]+"${batchtextures[@]}"}")

# Ctrl+C (or a kill) stops parallel, which stops the running jobs; what they
# leave behind is never taken for a finished seed, and --resume runs them.
interrupted() {
    trap '' INT TERM HUP
    kill -TERM "$enginepid" 2> /dev/null
    wait "$enginepid" || true
    rm -f "$outdir/.todo"
    echo >&2
    echo "batch: interrupted; bash scripts/batch.sh $outdir --resume runs the seeds not done" >&2
    exit "$1"
}
todo > "$outdir/.todo"
total=$(wc -l < "$outdir/seeds")
count=$(wc -l < "$outdir/.todo")
echo "batch: $count of $total seeds to make in $outdir (jobs x threads: $jobs x $threads${hosts:+, on the hosts of $hosts})"
started=$(date +%s%N)
cd "$outdir"   # where parallel puts what comes back from other hosts
status=0
if [ "$count" -gt 0 ]; then
    "${engine[@]}" -q "${step[@]}" :::: "$outdir/.todo" < /dev/null &
    enginepid=$!
    trap 'interrupted 130' INT
    trap 'interrupted 143' TERM
    trap 'interrupted 129' HUP
    wait "$enginepid" || status=$?
    trap - INT TERM HUP
fi
elapsed=$((($(date +%s%N) - started) / 1000000))
rm -f "$outdir/.todo"

summarise "$outdir" || true
made=$((count - summaryfailed - summaryunfinished))
rate=$(awk -v n="$made" -v ms="$elapsed" 'BEGIN { printf "%.1f", (ms > 0 ? n * 60000 / ms : 0) }')
echo "batch: $summarydone of $total seeds done ($made now, in $((elapsed / 1000)).$(printf %03d $((elapsed % 1000))) s," \
    "$rate caves a minute), $summaryfailed failed, $summaryunfinished unfinished"
echo "summary:       $outdir/summary.csv"
[ -f "$outdir/contact.png" ] && echo "contact sheet: $outdir/contact.png"
if [ $summaryfailed -gt 0 ]; then
    echo "failed seeds and their logs:"
    for failure in "${summaryfailures[@]}"; do
        seed=${failure%%|*}
        echo "  seed $seed (${failure#*|failed: }): $outdir/$seed/vrastik.log, vrastik.out"
    done
    [ $summaryfailed -le ${#summaryfailures[@]} ] || echo "  ... and $((summaryfailed - ${#summaryfailures[@]})) more (summary.csv)"
fi
# parallel's own failures (a host it cannot reach, a signal) end in 255.
[ $status -ne 255 ] || echo "batch: GNU parallel stopped early (exit 255)"
[ $summaryunfinished -eq 0 ] || echo "unfinished seeds: bash scripts/batch.sh $outdir --resume runs them"
[ $((summaryfailed + summaryunfinished)) -eq 0 ]

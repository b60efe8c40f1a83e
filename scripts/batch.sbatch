#!/usr/bin/env bash
#SBATCH --job-name=caves
#SBATCH --cpus-per-task=1
# Many caves on Slurm: a job array whose tasks each make a slice of the
# seeds with the same per-seed step as scripts/batch.sh (scripts/batchseed.sh),
# into the same folder layout:
#   sbatch --array=0-N scripts/batch.sbatch OUTDIR --seeds LIST [--rocks N] [--ground N]
#          [--textures 'PATTERN ...'] [--export glb,vox] [--build DIR]
# Task k of the N + 1 takes the seeds k, k + N + 1, k + 2(N + 1), ... of the
# list (so the kinds, and with them the run times, spread over the tasks).
# Each runs its seeds one after another with VRASTIK_THREADS set to the
# task's CPUs (--cpus-per-task, default 1). A seed already done is skipped,
# so submitting the same command again completes a batch that was cut short.
# The task that finds every seed of the batch ended (done or failed) writes
# summary.csv and contact.png (bash scripts/batch.sh OUTDIR --summarise does
# the same by hand).
# The toolkit must be built (bash scripts/batch.sh or scripts/cave.sh build
# build/release) and, with the texture scripts and OUTDIR, be on a file
# system every node sees. Relative paths are taken from the folder sbatch
# was run in.
# Exit status of a task: 0 when its seeds are done, 1 when one failed, 2 on a
# bad command line.
set -uo pipefail

# Slurm runs a copy of this script; the toolkit is where the original is.
toolkit() {
    local command
    command=$(scontrol show job "${SLURM_JOB_ID:-0}" 2> /dev/null | sed -n 's/^ *Command=\(.*\)$/\1/p')
    command=${command%% *}
    if [ -f "$command" ] && [ -f "$(dirname "$command")/batchseed.sh" ]; then
        cd "$(dirname "$command")/.." && pwd
    elif [ -f "${SLURM_SUBMIT_DIR:-.}/scripts/batchseed.sh" ]; then
        cd "${SLURM_SUBMIT_DIR:-.}" && pwd
    else
        echo "batch: cannot find the toolkit (run sbatch on scripts/batch.sbatch from the toolkit)" >&2
        return 1
    fi
}
root=$(toolkit) || exit 2
source "$root/scripts/batchlib.sh"

[ $# -ge 2 ] || { batcherror "usage: sbatch --array=0-N scripts/batch.sbatch OUTDIR --seeds LIST [options]"; exit 2; }
outdir=$1
shift
declare -A batchset=([seeds]="" [rocks]=8192 [ground]=128 [export]="" [textures]="")
parsesettings "$@" || exit 2
build=$root/build/release
set -- "${batchrest[@]+"${batchrest[@]}"}"
while [ $# -gt 0 ]; do
    case $1 in
    --build) [ $# -ge 2 ] || { batcherror "--build needs a value"; exit 2; }; build=$2; shift 2 ;;
    *) batcherror "unknown option '$1' (--jobs, --threads and --hosts are batch.sh's)"; exit 2 ;;
    esac
done
build=$(cd "$build" 2> /dev/null && pwd) || { batcherror "no build folder $build"; exit 2; }
for tool in vrastik/vrastik tools/mapview; do
    [ -x "$build/$tool" ] || { batcherror "no $build/$tool: build the toolkit first"; exit 2; }
done
list=$(mktemp)
trap 'rm -f "$list"' EXIT
seedlist "$list" || exit 2
mkdir -p "$outdir" && outdir=$(cd "$outdir" && pwd) || { batcherror "cannot make $outdir"; exit 2; }
claimfolder "$outdir" "$list" || exit 2
readconf "$outdir"

rank=$((${SLURM_ARRAY_TASK_ID:-0} - ${SLURM_ARRAY_TASK_MIN:-0}))
tasks=$((${SLURM_ARRAY_TASK_MAX:-0} - ${SLURM_ARRAY_TASK_MIN:-0} + 1))
threads=${SLURM_CPUS_PER_TASK:-1}
step=(bash "$root/scripts/batchseed.sh" --build "$build" --threads "$threads")
[ -z "${batchset[export]}" ] || step+=(--export "${batchset[export]}")

failed=0 index=0
while IFS= read -r seed; do
    if [ $((index % tasks)) -eq $rank ]; then
        seedstate "$outdir" "$seed"
        if [ "$seedstatus" != ok ]; then
            "${step[@]}" "$outdir" "$seed" "${batchset[rocks]}" "${batchset[ground]}" \
                "${batchtextures[@]+"${batchtextures[@]}"}" < /dev/null || failed=1
        fi
    fi
    index=$((index + 1))
done < "$outdir/seeds"

# The last task to end writes the summary: every seed has its result.
ended=yes
while IFS= read -r seed; do
    [ -f "$outdir/$seed/result.csv" ] || { ended=no; break; }
done < "$outdir/seeds"
if [ $ended = yes ]; then
    bash "$root/scripts/batch.sh" "$outdir" --summarise || true
fi
exit $failed

#!/usr/bin/env bash
# scripts/batch.sbatch on a one-node Slurm the test starts itself (munged with
# its own key and socket, slurmctld and slurmd with a slurm.conf written here:
# process tracking without cgroups, this machine's CPUs, free ports), all in
# the scratch folder and stopped by their pid files at the end; sbatch --wait
# --array runs the batch and the array's last task writes the summary. Needs
# root (slurmd starts jobs as their user), checked first so a skip stays one.
#   tests/scripts/batch_slurm.sh BUILD_DIR
[ "$(id -u)" -eq 0 ] || { echo "skipped: the test's own slurmd needs root"; exit 77; }
source "$(dirname "$0")/batchtest.sh"

slurm=$scratch/slurm
mkdir -p "$slurm/state" "$slurm/spool"
chmod 700 "$slurm"

# munge: a key of random bytes, the socket and every file of its own here.
dd if=/dev/urandom of="$slurm/munge.key" bs=1024 count=1 status=none
chmod 400 "$slurm/munge.key"
cleanups+=("stopbypidfile '$slurm/munged.pid'")
munged --force --socket="$slurm/munge.socket" --key-file="$slurm/munge.key" --pid-file="$slurm/munged.pid" \
    --log-file="$slurm/munged.log" --seed-file="$slurm/munged.seed" ||
    abort "munged did not start: $(cat "$slurm/munged.log" 2> /dev/null)"

node=$(hostname -s)
cat > "$slurm/slurm.conf" << EOF
ClusterName=batchtest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$(freeport)
SlurmdPort=$(freeport)
AuthInfo=socket=$slurm/munge.socket
StateSaveLocation=$slurm/state
SlurmdSpoolDir=$slurm/spool
SlurmctldPidFile=$slurm/slurmctld.pid
SlurmdPidFile=$slurm/slurmd.pid
SlurmctldLogFile=$slurm/slurmctld.log
SlurmdLogFile=$slurm/slurmd.log
ProctrackType=proctrack/linuxproc
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=batch Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$slurm/slurm.conf
cleanups+=("stopbypidfile '$slurm/slurmctld.pid'")
slurmctld -f "$SLURM_CONF" -i || abort "slurmctld did not start: $(cat "$slurm/slurmctld.log")"
cleanups+=("stopbypidfile '$slurm/slurmd.pid'")
slurmd -f "$SLURM_CONF" || abort "slurmd did not start: $(cat "$slurm/slurmd.log")"
cleanups+=("scancel --quiet --user '$(id -un)' 2> /dev/null")   # our controller runs only the test's jobs
waitfor bash -c "sinfo -h -N -o %t 2> /dev/null | grep -qx idle" ||
    abort "the node never came up: $(sinfo -N 2>&1; tail -5 "$slurm/slurmd.log")"

# Three seeds on two array tasks (task 0: seeds 2 and 10, task 1: seed 6); should
# the job never run, timeout ends it (and the test the daemons) before CTest gives up.
out=$scratch/out
logged sbatch timeout 200 sbatch --wait --array=0-1 --output="$slurm/task-%a.out" --chdir="$scratch" \
    "$root/scripts/batch.sbatch" "$out" --seeds 2,6,10 --rocks 64 --textures "$root/examples/ground.tx" --build "$build"
cat "$slurm"/task-*.out
[ $status -eq 0 ] || fail "sbatch --wait ends with $status"
checkbatch "$out" "2 6 10" 64 128 "$root/examples/ground.tx"
# Each seed made once: the tasks took slices that do not overlap.
[ "$(cat "$out"/*/vrastik.log | grep -c 'Success!')" = 3 ] || fail "a seed was made more than once"
grep -q "^summary: 3 done, 0 failed" "$slurm"/task-*.out || fail "no task wrote the summary"

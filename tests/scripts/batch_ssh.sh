#!/usr/bin/env bash
# scripts/batch.sh --hosts: GNU parallel runs the seeds over ssh on an sshd
# the test starts itself (Debian's openssh-server, a free port on
# 127.0.0.1, host and user keys made for the run, everything in the scratch
# folder), and the seed folders come back into OUTDIR. Needs root (sshd
# logs in as the user running it only when it runs as root).
#   tests/scripts/batch_ssh.sh BUILD_DIR
source "$(dirname "$0")/batchtest.sh"
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: the test's own sshd needs root"
    exit 77
fi

ssh=$scratch/ssh
mkdir -p "$ssh" /run/sshd   # sshd's privilege separation folder must exist
ssh-keygen -q -t ed25519 -N '' -f "$ssh/hostkey" || abort "ssh-keygen"
ssh-keygen -q -t ed25519 -N '' -f "$ssh/userkey" || abort "ssh-keygen"
cp "$ssh/userkey.pub" "$ssh/authorized_keys"
port=$(freeport)
cat > "$ssh/sshd_config" << EOF
Port $port
ListenAddress 127.0.0.1
HostKey $ssh/hostkey
AuthorizedKeysFile $ssh/authorized_keys
PidFile $ssh/sshd.pid
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
EOF
cleanups+=("stopbypidfile '$ssh/sshd.pid'")
/usr/sbin/sshd -f "$ssh/sshd_config" -E "$ssh/sshd.log" || abort "sshd did not start: $(cat "$ssh/sshd.log")"
check "sshd wrote no pid file" waitfor test -s "$ssh/sshd.pid"

# One job at a time on the ssh host, none on this machine.
echo "1/ssh -p $port -i $ssh/userkey -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null" \
    "-o BatchMode=yes -o LogLevel=ERROR $(id -un)@127.0.0.1" > "$ssh/hosts"
out=$scratch/out
status=0
# (timeout: should ssh hang, the test still ends, and stops sshd, before
# CTest gives up on it.)
timeout 200 bash "$root/scripts/batch.sh" "$out" --seeds 2,6 --rocks 64 --build "$build" --hosts "$ssh/hosts" \
    --textures "$root/examples/ground.tx" > "$scratch/batch.txt" 2>&1 || status=$?
cat "$scratch/batch.txt"
[ $status -eq 0 ] || fail "the batch over ssh ends with $status"
for seed in 2 6; do
    directrun $seed 64 128 "$root/examples/ground.tx"
    checkseed "$out" $seed
done
# Every job ran on the ssh host (the joblog's second field), in a folder of
# parallel's own there: the seed folders checked above came back from it
# (had the step written into OUTDIR itself, rsync would have found nothing
# to return and said so).
awk -F'\t' '$2 !~ /^ssh -p / { bad = 1 } END { exit bad || NR != 2 }' "$out/joblog" ||
    fail "the joblog does not show both seeds run over ssh"
! grep -q rsync "$scratch/batch.txt" || fail "returning the seed folders failed"
checkcontact "$out" 2
checknohalves "$out"

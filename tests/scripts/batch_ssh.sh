#!/usr/bin/env bash
# scripts/batch.sh --hosts: GNU parallel runs the seeds over ssh on an sshd
# the test starts itself (a free port on 127.0.0.1, keys made for the run,
# all in the scratch folder), and the seed folders come back into OUTDIR.
# Needs root (only then does sshd log in as the user running it), checked
# first so a skip stays one.
#   tests/scripts/batch_ssh.sh BUILD_DIR
[ "$(id -u)" -eq 0 ] || { echo "skipped: the test's own sshd needs root"; exit 77; }
source "$(dirname "$0")/batchtest.sh"

ssh=$scratch/ssh
mkdir -p "$ssh" /run/sshd   # sshd's privilege separation folder must exist
ssh-keygen -q -t ed25519 -N '' -f "$ssh/hostkey" && ssh-keygen -q -t ed25519 -N '' -f "$ssh/userkey" || abort ssh-keygen
cp "$ssh/userkey.pub" "$ssh/authorized_keys"
port=$(freeport)
cat > "$ssh/sshd_config" << EOF
Port $port
ListenAddress 127.0.0.1
HostKey $ssh/hostkey
AuthorizedKeysFile $ssh/authorized_keys
PidFile $ssh/sshd.pid
PasswordAuthentication no
UsePAM no
StrictModes no
EOF
cleanups+=("stopbypidfile '$ssh/sshd.pid'")
/usr/sbin/sshd -f "$ssh/sshd_config" -E "$ssh/sshd.log" || abort "sshd did not start: $(cat "$ssh/sshd.log")"
check "sshd wrote no pid file" waitfor test -s "$ssh/sshd.pid"

# One job at a time on the ssh host, none here; should ssh hang, timeout ends
# the batch (and the test stops sshd) before CTest gives up.
echo "1/ssh -p $port -i $ssh/userkey -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null" \
    "-o BatchMode=yes -o LogLevel=ERROR $(id -un)@127.0.0.1" > "$ssh/hosts"
out=$scratch/out
logged batch timeout 200 bash "$root/scripts/batch.sh" "$out" --seeds 2,6 --rocks 64 --build "$build" \
    --hosts "$ssh/hosts" --textures "$root/examples/ground.tx"
[ $status -eq 0 ] || fail "the batch over ssh ends with $status"
checkbatch "$out" "2 6" 64 128 "$root/examples/ground.tx"
# Every job ran on the ssh host (the joblog's host field), in a folder of
# parallel's own there, which rsync brought back without a word.
awk -F'\t' '$2 !~ /^ssh -p / { bad = 1 } END { exit bad || NR != 2 }' "$out/joblog" ||
    fail "the joblog does not show both seeds run over ssh"
! grep -q rsync "$scratch/batch.txt" || fail "returning the seed folders failed"

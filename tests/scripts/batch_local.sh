#!/usr/bin/env bash
# scripts/batch.sh on this machine through GNU parallel: the folder layout,
# the same bytes as direct runs, failing seeds recorded while the others
# finish, and --resume after a batch that was interrupted and had a job
# killed.
#   tests/scripts/batch_local.sh BUILD_DIR
source "$(dirname "$0")/batchtest.sh"

# ---- bad command lines: a message and status 2, no batch folder -------------------------
mkdir -p "$scratch/taken" && touch "$scratch/taken/file"
said=$(bash "$root/scripts/batch.sh" 2>&1)
[ $? -eq 2 ] && [[ $said == usage:* ]] || fail "batch.sh without arguments: $said"
while IFS='|' read -r outdir args says; do
    # shellcheck disable=SC2086
    said=$(cd "$scratch" && bash "$root/scripts/batch.sh" "$outdir" --build "$build" $args 2>&1)
    status=$?
    [ $status -eq 2 ] && [[ $said == *"$says"* ]] || fail "batch.sh $outdir $args: status $status, said: $said"
done << 'EOF'
bad|--seeds 5-3|'5-3' is not a range of seeds
bad|--seeds 1,4,2-5|seed 4 is listed twice
bad|--seeds 2147483648|not a range of seeds from 0 to 2147483647
bad|--seeds 1-1000001|more than 1000000 seeds
bad|--seeds x|--seeds wants seeds and ranges
bad|--rocks 64|which seeds?
bad|--seeds 1 --rocks|--rocks needs a value
bad|--rocks 12x --seeds 1|--rocks wants a whole number, not '12x'
bad|--seeds 1 --textures nothing/*.tx|no texture script matches 'nothing/*.tx'
bad|--seeds 1 --export png|--export takes glb vox
bad|--seeds 1 --export glb,glb|--export names glb twice
bad|--seeds 1 --jobs 0|--jobs and --threads want a whole number
bad|--seeds 1 --frobnicate|unknown option '--frobnicate'
taken|--seeds 1|taken is not empty
bad|--resume|bad holds no batch
EOF
[ ! -e "$scratch/bad" ] || [ -z "$(ls -A "$scratch/bad")" ] || fail "a refused batch left files: $(ls "$scratch/bad")"

# ---- a batch with a seed that fails ---------------------------------------------------
# 40000 rocks: the blocky terrain (seed 0) takes a fixed count and
# succeeds; the round cave (seed 3) refuses the count.
out=$scratch/fails
status=0
bash "$root/scripts/batch.sh" "$out" --seeds 0,3 --rocks 40000 --export glb,vox --build "$build" \
    > "$scratch/fails.txt" 2>&1 ||
    status=$?
cat "$scratch/fails.txt"
[ $status -eq 1 ] || fail "a batch with a failed seed ends with $status, not 1"
grep -q "1 of 2 seeds done.*1 failed" "$scratch/fails.txt" || fail "the end of the run does not count the failed seed"
grep -q "seed 3 (vrastik exit 255): $out/3/vrastik.log" "$scratch/fails.txt" || fail "the failed seed's log is not named"
directrun 0 40000 128
checkseed "$out" 0
# The exports are mapexport's own files of the same map.
for format in glb vox; do
    "$build/tools/mapexport" "$scratch/direct/0/mundra.gmv" "$scratch/direct/0/cave.$format" > /dev/null ||
        abort "mapexport of the direct run's map"
    check "seed 0: cave.$format differs from mapexport's" cmp -s "$out/0/cave.$format" "$scratch/direct/0/cave.$format"
done
[ ! -e "$out/3/cave.glb" ] || fail "the failed seed has an export"
[ "$(summaryfield "$out" 3 status)" = "failed: vrastik exit 255" ] || fail "seed 3's status"
[ "$(summaryfield "$out" 3 kind)" = "round cave" ] || fail "seed 3's kind"
grep -q "number_of_rocks must be 1..32768" "$out/3/vrastik.out" || fail "seed 3's console is not kept"
[ ! -e "$out/3/mundra.gmv" ] || fail "the failed seed has a map"
[ "$(cut -d, -f1 "$out/summary.csv" | tr '\n' ' ')" = "seed 0 3 " ] || fail "summary.csv: the seeds in order"
# parallel's job log: one line per seed, the failed one's exit 1.
[ "$(awk -F'\t' '{ print $7 }' "$out/joblog" | sort | tr '\n' ' ')" = "0 1 " ] ||
    fail "joblog exit codes"
checkcontact "$out" 2
checknohalves "$out"
# A second batch into the same folder is refused; --resume with other
# settings too.
said=$(bash "$root/scripts/batch.sh" "$out" --seeds 0,3 --rocks 40000 --build "$build" 2>&1)
[ $? -eq 2 ] && [[ $said == *"already holds a batch; --resume completes it"* ]] ||
    fail "a second batch into a batch folder: $said"
said=$(bash "$root/scripts/batch.sh" "$out" --resume --seeds 0,3 --rocks 64 --build "$build" 2>&1)
[ $? -eq 2 ] && [[ $said == *"< rocks 64"*"> rocks 40000"* ]] || fail "--resume with other settings: $said"

# ---- a broken texture script: every seed fails, each recorded ------------------------
out=$scratch/broken
printf 'not a texture script' > "$scratch/broken.tx"
status=0
bash "$root/scripts/batch.sh" "$out" --seeds 2,6 --rocks 64 --build "$build" \
    --textures "$root/examples/ground.tx $scratch/broken.tx" > "$scratch/broken.txt" 2>&1 || status=$?
[ $status -eq 1 ] || fail "a batch with a broken texture script ends with $status"
for seed in 2 6; do
    [ "$(summaryfield "$out" $seed status)" = "failed: vrastik exit 255" ] || fail "broken texture: seed $seed status"
    grep -q "error loading texture $scratch/broken.tx" "$out/$seed/vrastik.log" ||
        fail "broken texture: seed $seed's log does not say"
done

# ---- interrupted, a job killed, then --resume -------------------------------------------
# One job at a time: seed 2 finishes; seed 6's vrastik is killed while it
# writes the map (its step records the failure and removes the half-written
# temporary file); while seed 10 writes its map the batch gets Ctrl+C
# (SIGINT to its process group, as a terminal sends it: parallel stops the
# job, vrastik removes its temporary file). Seed 12 never starts.
out=$scratch/resume
seeds=(2 6 10 12)
# (A job started with & has SIGINT ignored; perl puts it back as a terminal has it.)
setsid perl -e '$SIG{INT} = "DEFAULT"; exec @ARGV' bash "$root/scripts/batch.sh" "$out" --seeds 2,6,10,12 --rocks 64 --jobs 1 --build "$build" \
    > "$scratch/resume.txt" 2>&1 &
batch=$!
cleanups+=("kill -KILL -- -$batch 2> /dev/null")

# Sets running to the pid of a vrastik working in the folder, if any (the
# process names read without starting a process for each).
vrastikin() {
    local p comm
    for p in /proc/[0-9]*; do
        comm=""
        read -r comm 2> /dev/null < "$p/comm" || continue
        if [ "$comm" = vrastik ] && [ "$(readlink "$p/cwd")" = "$1" ]; then
            running=${p#/proc/}
            return 0
        fi
    done
    return 1
}
check "seed 2 never finished" waitfor test -f "$out/2/result.csv"
# A vrastik in the folder that has written some of its map but not yet
# two thirds (so it is still writing when the signal comes): its temporary
# file is there, and the map is about 9 MB.
writingmap() {
    local temp
    vrastikin "$1" && temp=$(compgen -G "$1/mundra.gmv.*.tmp") &&
        [ "$(stat -c %s "$temp" 2> /dev/null || echo 0)" -lt 6000000 ]
}
waitfor writingmap "$out/6" || abort "seed 6 never wrote its map"
kill -KILL "$running"
check "the killed seed was not recorded" waitfor test -f "$out/6/result.csv"
waitfor writingmap "$out/10" || abort "seed 10 never wrote its map"
kill -INT -- -$batch
status=0
wait $batch || status=$?
cat "$scratch/resume.txt"
[ $status -eq 130 ] || fail "an interrupted batch ends with $status, not 130"
grep -q -- "--resume runs the seeds not done" "$scratch/resume.txt" || fail "no word on --resume after Ctrl+C"
[ "$(cut -d, -f6 "$out/6/result.csv")" = "failed: vrastik killed by signal 9" ] || fail "the killed seed's status"
[ ! -e "$out/12" ] || fail "seed 12 started after Ctrl+C"
checknohalves "$out"

status=0
bash "$root/scripts/batch.sh" "$out" --resume --build "$build" > "$scratch/resumed.txt" 2>&1 || status=$?
cat "$scratch/resumed.txt"
[ $status -eq 0 ] || fail "--resume ends with $status"
grep -q "batch: [23] of 4 seeds to make" "$scratch/resumed.txt" || fail "--resume does not run just the seeds not done"
for seed in "${seeds[@]}"; do
    directrun "$seed" 64 128
    checkseed "$out" "$seed"
done
[ "$(grep -c 'Success!' "$out/2/vrastik.log")" = 1 ] || fail "--resume ran the finished seed 2 again"
[ "$(grep -c 'vrastik 6 64 128' "$out/6/vrastik.log")" = 2 ] || fail "seed 6 did not run twice"
checkcontact "$out" 2
checknohalves "$out"

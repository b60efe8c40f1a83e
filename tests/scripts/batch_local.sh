#!/usr/bin/env bash
# scripts/batch.sh here through GNU parallel: the layout, the same bytes as
# direct runs, a failing seed recorded while the others finish, --export, and
# --resume after a batch that was interrupted and had a job killed.
#   tests/scripts/batch_local.sh BUILD_DIR
source "$(dirname "$0")/batchtest.sh"
batch=(bash "$root/scripts/batch.sh")

# ---- a seed that fails while the other finishes, with exports ------------------------
# 40000 rocks: the blocky terrain (seed 0) takes a fixed count; the round
# cave (seed 3) refuses the count.
out=$scratch/fails
logged fails "${batch[@]}" "$out" --seeds 0,3 --rocks 40000 --export glb,vox --build "$build"
[ $status -eq 1 ] || fail "a batch with a failed seed ends with $status, not 1"
grep -q "1 of 2 seeds done.*1 failed" "$scratch/fails.txt" || fail "the end of the run does not count the failed seed"
grep -q "seed 3 (vrastik exit 255): $out/3/vrastik.log" "$scratch/fails.txt" || fail "seed 3's log is not named"
checkbatch "$out" 0 40000 128
for format in glb vox; do   # mapexport's own files of the same map
    "$build/tools/mapexport" "$scratch/direct/0/mundra.gmv" "$scratch/direct/0/cave.$format" > /dev/null ||
        abort "mapexport of the direct run's map"
    check "seed 0: cave.$format differs from mapexport's" cmp -s "$out/0/cave.$format" "$scratch/direct/0/cave.$format"
done
[ "$(grep '^3,' "$out/summary.csv" | cut -d, -f2,6)" = "round cave,failed: vrastik exit 255" ] || fail "seed 3's line"
grep -q "number_of_rocks must be 1..32768" "$out/3/vrastik.out" || fail "seed 3's console is not kept"
[ "$(ls "$out/3")" = "$(printf 'result.csv\nvrastik.log\nvrastik.out')" ] || fail "the failed seed left $(ls "$out/3")"
[ "$(cut -d, -f1 "$out/summary.csv" | tr '\n' ' ')" = "seed 0 3 " ] || fail "summary.csv: the seeds in order"

# ---- bad command lines: a message and status 2, no batch folder made or changed --------
mkdir -p "$scratch/taken" && touch "$scratch/taken/file"
while IFS='|' read -r outdir args says; do
    # shellcheck disable=SC2086
    said=$(cd "$scratch" && "${batch[@]}" "$outdir" $args --build "$build" 2>&1)
    status=$?
    # shellcheck disable=SC2053  # says is a pattern
    [ $status -eq 2 ] && [[ $said == *$says* ]] || fail "batch.sh $outdir $args: status $status, said: $said"
done << 'EOF'
bad|--seeds 5-3|'5-3' is not a range of seeds
bad|--seeds 1,4,2-5|seed 4 is listed twice
bad|--seeds 1 --textures nothing/*.tx|no texture script matches 'nothing/*.tx'
bad|--seeds 1 --export png|--export takes glb vox
bad|--resume|bad holds no batch
taken|--seeds 1|taken is not empty
fails|--seeds 0,3 --rocks 40000|fails already holds a batch; --resume completes it
fails|--resume --seeds 0,3 --rocks 64|< rocks 64*> rocks 40000
EOF
[ ! -e "$scratch/bad" ] || fail "a refused batch left files: $(ls "$scratch/bad")"
[ "$(grep '^0,' "$out/summary.csv" | cut -d, -f6)" = ok ] || fail "a refused batch changed the batch folder"

# ---- interrupted, a job killed, then --resume ------------------------------------------
# One job at a time: seed 2 finishes; seed 6's vrastik is killed while it
# writes its map (its step records the failure and removes the temporary
# file); while seed 10 writes its map the batch gets Ctrl+C, SIGINT to its
# process group as from a terminal (perl undoes the SIGINT ignored in a job
# started with &). Seed 12 never starts.
out=$scratch/resume
setsid perl -e '$SIG{INT} = "DEFAULT"; exec @ARGV' "${batch[@]}" "$out" --seeds 2,6,10,12 --rocks 64 --jobs 1 \
    --build "$build" > "$scratch/resume.txt" 2>&1 &
group=$!
cleanups+=("kill -KILL -- -$group 2> /dev/null")

# A vrastik in folder $1 (found through /proc, no process started per look)
# that has written some but not two thirds of its map (about 9 MB), so it is
# still writing when the signal comes: its pid in $running.
writingmap() {
    local p comm temp
    for p in /proc/[0-9]*; do
        read -r comm 2> /dev/null < "$p/comm" && [ "$comm" = vrastik ] && [ "$(readlink "$p/cwd")" = "$1" ] || continue
        temp=$(compgen -G "$1/mundra.gmv.*.tmp") && [ "$(stat -c %s "$temp" 2> /dev/null || echo 0)" -lt 6000000 ] ||
            return 1
        running=${p#/proc/}
        return 0
    done
    return 1
}
check "seed 2 never finished" waitfor test -f "$out/2/result.csv"
waitfor writingmap "$out/6" || abort "seed 6 never wrote its map"
kill -KILL "$running"
check "the killed seed was not recorded" waitfor test -f "$out/6/result.csv"
waitfor writingmap "$out/10" || abort "seed 10 never wrote its map"
kill -INT -- -$group
status=0
wait $group || status=$?
cat "$scratch/resume.txt"
[ $status -eq 130 ] || fail "an interrupted batch ends with $status, not 130"
grep -q -- "--resume runs the seeds not done" "$scratch/resume.txt" || fail "no word on --resume after Ctrl+C"
[ "$(cut -d, -f6 "$out/6/result.csv")" = "failed: vrastik killed by signal 9" ] || fail "the killed seed's status"
[ ! -e "$out/12" ] || fail "seed 12 started after Ctrl+C"
[ -z "$(find "$out" -name '*.tmp')" ] || fail "half-written files left: $(find "$out" -name '*.tmp')"

logged resumed "${batch[@]}" "$out" --resume --build "$build"
[ $status -eq 0 ] || fail "--resume ends with $status"
grep -q "batch: [23] of 4 seeds to make" "$scratch/resumed.txt" || fail "--resume does not run just the seeds not done"
checkbatch "$out" "2 6 10 12" 64 128
[ "$(grep -c 'Success!' "$out/2/vrastik.log")" = 1 ] || fail "--resume ran the finished seed 2 again"
[ "$(grep -c 'vrastik 6 64 128' "$out/6/vrastik.log")" = 2 ] || fail "seed 6 did not run twice"

#!/usr/bin/env bash
# Builds the libFuzzer targets through CMake (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, the project's warnings) in build/fuzz and runs
# each for SECONDS (default 60), up to JOBS (default 2) at once, starting
# from its committed seeds and the corpus earlier runs left in
# build/fuzz/corpus/TARGET. A crash, an overflow, a leak or a hang (10 s for
# one input) fails the run; the input that caused it is left in
# build/fuzz/artifacts/ and the output says where.
# The build is the CMake preset "fuzz" (warnings are errors). Each target's
# result is a test case in build/fuzz/junit.xml (JUnit, as ctest writes its
# own; scripts/test.sh counts from it), and the last line gives the counts:
#   fuzzing: N targets, C clean
#   scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 30 mapfile
set -euo pipefail
seconds=${1:-60}
[ $# -gt 0 ] && shift
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/fuzz"
jobs=${JOBS:-2}

for tool in clang++ python3; do
    command -v "$tool" >/dev/null || { echo "fuzz: $tool not found (bash scripts/setup.sh test)" >&2; exit 2; }
done
rm -f "$out/junit.xml"
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs"

# fuzz TOPIC MAXLEN SEED-DIRS: runs one target; its report goes to
# $out/TOPIC.report, its first line ending in "clean" or "FAILED ...", and
# its seconds to $out/TOPIC.seconds.
fuzz() {
    local topic=$1 maxlen=$2 seeds=$3
    local corpus="$out/corpus/$topic" log="$out/$topic.log" start=$EPOCHREALTIME status=0
    local elapsed runs corp line
    mkdir -p "$corpus"
    touch "$out/artifacts/.start-$topic"
    # shellcheck disable=SC2086  # seeds: several directories
    "$out/tests/fuzz_$topic" -max_total_time="$seconds" -max_len="$maxlen" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$out/artifacts/$topic-" "$corpus" $seeds </dev/null >"$log" 2>&1 ||
        status=$?
    elapsed=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
    runs=$(grep -Eo 'stat::number_of_executed_units: [0-9]+' "$log" | awk '{print $2}' || true)
    # libFuzzer's last status line: "corp: INPUTS/SIZE".
    corp=$(grep -Eo 'corp: [0-9]+/[0-9]+[a-zA-Z]*' "$log" | tail -1 | cut -d' ' -f2 || true)
    [ -n "$corp" ] && corp="${corp%%/*} inputs (${corp#*/})" || corp="not reported"
    echo "$elapsed" > "$out/$topic.seconds"
    line=$(printf 'fuzz_%-15s %9s runs in %5s s, corpus %s' "$topic" "${runs:-?}" "$elapsed" "$corp")
    if [ "$status" -eq 0 ]; then
        echo "$line: clean" > "$out/$topic.report"
        return
    fi
    {
        echo "$line: FAILED (exit status $status)"
        grep -E 'ERROR: |SUMMARY: |Test unit written to' "$log" | head -5 | sed 's/^/    /' || true
        find "$out/artifacts" -name "$topic-*" -newer "$out/artifacts/.start-$topic" | while read -r artifact; do
            echo "    reproducer: $artifact"
            echo "    run it again: $out/tests/fuzz_$topic $artifact"
        done
        echo "    whole output: $log"
    } > "$out/$topic.report"
}

# fuzzers.txt, written by CMake: one line per target, "topic maxlen seed-dirs...".
# Up to JOBS targets run at once, each for the full time.
mkdir -p "$out/artifacts"
topics=()
while read -r topic maxlen seeds; do
    case "$topic" in '#'* | '') continue ;; esac
    if [ $# -gt 0 ] && [[ " $* " != *" $topic "* ]]; then
        continue
    fi
    topics+=("$topic")
    rm -f "$out/$topic.report" "$out/$topic.seconds"
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
        wait -n || true
    done
    fuzz "$topic" "$maxlen" "$seeds" &
done < "$out/fuzzers.txt"
wait

if [ ${#topics[@]} -eq 0 ]; then
    echo "fuzzing: no target ran" >&2
    exit 1
fi
# Each target one test case: "fuzz_TOPIC<TAB>pass|fail<TAB>SECONDS<TAB>report".
: > "$out/cases.tsv"
for topic in "${topics[@]}"; do
    [ -f "$out/$topic.report" ] ||
        echo "fuzz_$topic: FAILED (the run left no report; see $out/$topic.log)" > "$out/$topic.report"
    cat "$out/$topic.report"
    result=fail
    head -1 "$out/$topic.report" | grep -q ': clean$' && result=pass
    printf 'fuzz_%s\t%s\t%s\t%s\n' "$topic" "$result" "$(cat "$out/$topic.seconds" 2>/dev/null || echo 0)" \
        "$(tr '\t' ' ' < "$out/$topic.report" | sed ':a;N;$!ba;s/\n/\\n/g')" >> "$out/cases.tsv"
done
python3 "$root/scripts/junit.py" write "$out/junit.xml" fuzzing < "$out/cases.tsv"
clean=$(grep -c "$(printf '\tpass\t')" "$out/cases.tsv" || true)
echo "fuzzing: ${#topics[@]} targets, $clean clean"
[ "$clean" -eq "${#topics[@]}" ]

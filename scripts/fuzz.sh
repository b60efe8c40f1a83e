#!/usr/bin/env bash
# Builds the libFuzzer targets through CMake (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, the project's warnings) in build/fuzz and runs
# each for SECONDS (default 60), starting from its committed seeds and the
# corpus earlier runs left in build/fuzz/corpus/TARGET. A crash, an overflow,
# a leak or a hang (10 s for one input) fails the run; the input that caused
# it is left in build/fuzz/artifacts/ and the output says where.
# VOXEL_WERROR=ON turns warnings into errors. The last line gives the counts:
#   fuzzing: N targets, C clean
#   scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 30 mapfile
set -euo pipefail
seconds=${1:-60}
[ $# -gt 0 ] && shift
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/fuzz"
jobs=${JOBS:-2}

command -v clang++ >/dev/null || { echo "fuzz: clang++ not found (bash scripts/setup.sh test)" >&2; exit 2; }
cmake -S "$root" -B "$out" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVOXEL_FUZZ=ON -DVOXEL_TESTS=OFF -DVOXEL_BENCH=OFF -DVOXEL_SANITIZE=OFF -DVOXEL_M32=OFF \
    -DVOXEL_WERROR="${VOXEL_WERROR:-OFF}" >/dev/null
cmake --build "$out" -j"$jobs" --target fuzzers

mkdir -p "$out/artifacts"
targets=0
clean=0
# fuzzers.txt, written by CMake: one line per target, "topic maxlen seed-dirs...".
while read -r topic maxlen seeds; do
    case "$topic" in '#'* | '') continue ;; esac
    if [ $# -gt 0 ] && [[ " $* " != *" $topic "* ]]; then
        continue
    fi
    targets=$((targets + 1))
    corpus="$out/corpus/$topic"
    log="$out/$topic.log"
    mkdir -p "$corpus"
    touch "$out/artifacts/.start-$topic"
    start=$EPOCHREALTIME
    status=0
    # shellcheck disable=SC2086  # seeds: several directories
    "$out/tests/fuzz_$topic" -max_total_time="$seconds" -max_len="$maxlen" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$out/artifacts/$topic-" "$corpus" $seeds </dev/null >"$log" 2>&1 || status=$?
    elapsed=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
    runs=$(grep -Eo 'stat::number_of_executed_units: [0-9]+' "$log" | awk '{print $2}' || true)
    # libFuzzer's last status line: "corp: INPUTS/SIZE".
    corp=$(grep -Eo 'corp: [0-9]+/[0-9]+[a-zA-Z]*' "$log" | tail -1 | cut -d' ' -f2 || true)
    [ -n "$corp" ] && corp="${corp%%/*} inputs (${corp#*/})" || corp="not reported"
    line=$(printf 'fuzz_%-15s %9s runs in %5s s, corpus %s' "$topic" "${runs:-?}" "$elapsed" "$corp")
    if [ "$status" -eq 0 ]; then
        clean=$((clean + 1))
        echo "$line: clean"
    else
        echo "$line: FAILED (exit status $status)"
        grep -E 'ERROR: |SUMMARY: |Test unit written to' "$log" | head -5 | sed 's/^/    /' || true
        find "$out/artifacts" -name "$topic-*" -newer "$out/artifacts/.start-$topic" | while read -r artifact; do
            echo "    reproducer: $artifact"
            echo "    run it again: $out/tests/fuzz_$topic $artifact"
        done
        echo "    whole output: $log"
    fi
done < "$out/fuzzers.txt"

if [ "$targets" -eq 0 ]; then
    echo "fuzzing: no target ran" >&2
    exit 1
fi
echo "fuzzing: $targets targets, $clean clean"
[ "$clean" -eq "$targets" ]

#!/usr/bin/env bash
# Builds and runs every test, stage by stage. Each stage is a CMake preset
# (CMakePresets.json) with a build directory of its own that sets every
# option it relies on, so this works after scripts/cave.sh, again and again,
# in any order; a person runs one the same way (cmake --workflow --preset
# sanitize). Warnings are errors.
#   native      build/native    the whole suite
#   sanitizers  build/sanitize  the suite under AddressSanitizer and
#                               UndefinedBehaviorSanitizer, whole-map runs
#                               (label fullrun) left out
#   32-bit      build/m32       the compiler's tests as 32-bit code under
#                               qemu-i386, and the value table of both code
#                               flavours compared (scripts/test-m32.sh)
#   fuzzing     build/fuzz      every fuzz target for FUZZ_SECONDS (default 30)
#                               each, JOBS at once (scripts/fuzz.sh)
# Every stage leaves its results as JUnit files (ctest --output-junit, and
# the same form from the two scripts), and its counts are read from them.
# Every stage runs even when an earlier one failed. A stage that fails or
# runs no test is named; the last line sums every stage, and the exit status
# is 0 only when all passed. JOBS sets the parallel jobs (default: the cores).
#   scripts/test.sh
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test || { echo "test.sh: installing the packages failed" >&2; exit 1; }
export JOBS=${JOBS:-$(nproc)}
fuzzseconds=${FUZZ_SECONDS:-30}

# One entry per stage, in order: name, passed, total, seconds, and what went wrong.
stages=()
passed=()
totals=()
times=()
faults=()

# record NAME PASSED TOTAL SECONDS [FAULT]
record() {
    local fault=${5:-}
    if [ -z "$fault" ] && [ "$3" -eq 0 ]; then
        fault="ran no test"
    elif [ -z "$fault" ] && [ "$2" -ne "$3" ]; then
        fault="$(($3 - $2)) of $3 failed"
    fi
    stages+=("$1")
    passed+=("$2")
    totals+=("$3")
    times+=("$4")
    faults+=("$fault")
    if [ -n "$fault" ]; then
        echo "test.sh: stage $1 FAILED: $fault" >&2
    fi
}

# results NAME STATUS START WHO FILE...: records a stage from the JUnit
# files it left (scripts/junit.py reads them); WHO, the command that ran
# the stage, is named when a file is missing or its exit status tells of a
# failure the files do not show.
results() {
    local name=$1 status=$2 start=$3 who=$4 file counts missing=()
    shift 4
    for file in "$@"; do
        [ -s "$file" ] || missing+=("$file")
    done
    counts=$(python3 scripts/junit.py count "$@" 2>/dev/null) || true
    set -- ${counts:-0 0}
    if [ ${#missing[@]} -gt 0 ]; then
        record "$name" "$1" "$2" $((SECONDS - start)) "$who left no ${missing[*]}"
    elif [ "$status" -ne 0 ] && [ "$1" -eq "$2" ] && [ "$2" -gt 0 ]; then
        record "$name" "$1" "$2" $((SECONDS - start)) "$who failed (exit status $status)"
    else
        record "$name" "$1" "$2" $((SECONDS - start))
    fi
}

# cteststage NAME PRESET: configures, builds and runs a test preset.
cteststage() {
    local name=$1 preset=$2 start=$SECONDS status
    echo "== $name (build/$preset)"
    rm -f "build/$preset/junit.xml"
    if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j"$JOBS"; then
        record "$name" 0 0 $((SECONDS - start)) "the build failed"
        return
    fi
    ctest --preset "$preset" -j"$JOBS" 2>&1 | tee "build/$preset/ctest.log"
    status=${PIPESTATUS[0]}
    results "$name" "$status" "$start" ctest "build/$preset/junit.xml"
}

cteststage native native
cteststage sanitizers sanitize

# 32-bit: its ctest results, and the value table as one more test.
echo "== 32-bit (build/m32)"
start=$SECONDS
mkdir -p build
rm -f build/m32/junit.xml build/m32/valuetable.xml
NATIVE_BUILD=$PWD/build/native bash scripts/test-m32.sh 2>&1 | tee build/m32.log
results 32-bit "${PIPESTATUS[0]}" "$start" test-m32.sh build/m32/junit.xml build/m32/valuetable.xml

# Fuzzing: each target is one test.
echo "== fuzzing (build/fuzz, $fuzzseconds s per target)"
start=$SECONDS
rm -f build/fuzz/junit.xml
bash scripts/fuzz.sh "$fuzzseconds" 2>&1 | tee build/fuzz.log
results fuzzing "${PIPESTATUS[0]}" "$start" fuzz.sh build/fuzz/junit.xml

echo
echo "== summary"
sumpassed=0
sumtotal=0
parts=()
failedstages=()
for i in "${!stages[@]}"; do
    printf '%-11s %5d of %5d passed  %4d s  %s\n' "${stages[$i]}" "${passed[$i]}" "${totals[$i]}" "${times[$i]}" \
        "${faults[$i]:-ok}"
    sumpassed=$((sumpassed + passed[i]))
    sumtotal=$((sumtotal + totals[i]))
    parts+=("${stages[$i]} ${passed[$i]}/${totals[$i]}")
    [ -n "${faults[$i]}" ] && failedstages+=("${stages[$i]} (${faults[$i]})")
done
joined=$(IFS=,; echo "${parts[*]}" | sed 's/,/, /g')
if [ ${#failedstages[@]} -eq 0 ]; then
    echo "tests: $sumpassed of $sumtotal passed in ${#stages[@]} stages ($joined)"
    exit 0
fi
failedlist=$(printf '%s, ' "${failedstages[@]}")
echo "tests: FAILED in ${failedlist%, }: $sumpassed of $sumtotal passed ($joined)"
exit 1

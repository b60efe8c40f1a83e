#!/usr/bin/env bash
# Builds and runs every test, stage by stage. Each stage has a build
# directory of its own and sets every option it relies on, so this works
# after scripts/cave.sh, again and again, in any order. Warnings are errors.
#   native      build/native    the whole suite
#   sanitizers  build/sanitize  the suite under AddressSanitizer and
#                               UndefinedBehaviorSanitizer, whole-map runs left out
#   32-bit      build/m32       the compiler's tests as 32-bit code under
#                               qemu-i386, and the value table of both code
#                               flavours compared (scripts/test-m32.sh)
#   fuzzing     build/fuzz      every fuzz target for FUZZ_SECONDS (default 30)
#                               each, JOBS at once (scripts/fuzz.sh)
# Every stage runs even when an earlier one failed. A stage that fails or
# runs no test is named; the last line sums every stage, and the exit status
# is 0 only when all passed. JOBS sets the parallel jobs (default: the cores).
#   scripts/test.sh
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test || { echo "test.sh: installing the packages failed" >&2; exit 1; }
export JOBS=${JOBS:-$(nproc)}
export VOXEL_WERROR=ON
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

# The counts of ctest's closing line in a log: "PASSED TOTAL", or "0 0".
ctestcounts() {
    local line
    line=$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$1" | tail -1)
    [ -n "$line" ] || { echo "0 0"; return; }
    set -- $line
    echo "$(($6 - $1)) $6"
}

# ctest stage: NAME BUILDDIR CMAKE-OPTIONS... -- CTEST-OPTIONS...
cteststage() {
    local name=$1 dir=$2 start=$SECONDS status counts
    shift 2
    local configure=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        configure+=("$1")
        shift
    done
    shift
    echo "== $name ($dir)"
    if ! cmake -S . -B "$dir" -DVOXEL_M32=OFF -DVOXEL_FUZZ=OFF -DVOXEL_TESTS=ON -DVOXEL_WERROR=ON "${configure[@]}" \
            >/dev/null || ! cmake --build "$dir" -j"$JOBS"; then
        record "$name" 0 0 $((SECONDS - start)) "the build failed"
        return
    fi
    ctest --test-dir "$dir" -j"$JOBS" --output-on-failure --no-tests=error "$@" 2>&1 | tee "$dir/ctest.log"
    status=${PIPESTATUS[0]}
    counts=$(ctestcounts "$dir/ctest.log")
    set -- $counts
    if [ "$status" -ne 0 ] && [ "$1" -eq "$2" ] && [ "$2" -gt 0 ]; then
        record "$name" "$1" "$2" $((SECONDS - start)) "ctest failed (exit status $status)"
    else
        record "$name" "$1" "$2" $((SECONDS - start))
    fi
}

cteststage native build/native -DCMAKE_BUILD_TYPE=Release -DVOXEL_SANITIZE=OFF -DVOXEL_BENCH=ON --
cteststage sanitizers build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOXEL_SANITIZE=ON -DVOXEL_BENCH=OFF \
    -- -LE fullrun

# 32-bit: its ctest count, and the value table as one more test.
echo "== 32-bit (build/m32)"
start=$SECONDS
mkdir -p build
NATIVE_BUILD=$PWD/build/native bash scripts/test-m32.sh 2>&1 | tee build/m32.log
line=$(grep -E '^test-m32: [0-9]+ of [0-9]+ tests passed; value table: ' build/m32.log | tail -1)
if [ -z "$line" ]; then
    record 32-bit 0 0 $((SECONDS - start)) "test-m32.sh stopped before its counts"
else
    read -r m32passed m32total <<< "$(echo "$line" | sed -E 's/^test-m32: ([0-9]+) of ([0-9]+).*/\1 \2/')"
    table=0
    [[ "$line" == *"value table: identical"* ]] && table=1
    if [ "$m32total" -eq 0 ]; then
        record 32-bit 0 0 $((SECONDS - start))
    else
        record 32-bit $((m32passed + table)) $((m32total + 1)) $((SECONDS - start))
    fi
fi

# Fuzzing: each target is one test.
echo "== fuzzing (build/fuzz, $fuzzseconds s per target)"
start=$SECONDS
bash scripts/fuzz.sh "$fuzzseconds" 2>&1 | tee build/fuzz.log
line=$(grep -E '^fuzzing: [0-9]+ targets, [0-9]+ clean' build/fuzz.log | tail -1)
if [ -z "$line" ]; then
    record fuzzing 0 0 $((SECONDS - start)) "fuzz.sh stopped before its counts"
else
    read -r fuzztargets fuzzclean <<< "$(echo "$line" | sed -E 's/^fuzzing: ([0-9]+) targets, ([0-9]+) clean.*/\1 \2/')"
    record fuzzing "$fuzzclean" "$fuzztargets" $((SECONDS - start))
fi

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

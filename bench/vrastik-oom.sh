#!/usr/bin/env bash
# Out-of-memory sweep: whole vrastik runs under an address-space limit
# (ulimit -v) from LOW to HIGH MB in steps of STEP, ROUNDS times, on THREADS
# threads. Every run must end either with the map written (exit 210) or
# with an "out of memory" message and exit 255, the old map kept and no
# temporary file left; anything else (a signal, another code, a stray file)
# is printed and makes the exit status 1. The last line counts the outcomes.
#   bench/vrastik-oom.sh [BUILD_DIR] [ROUNDS] [THREADS] [LOW] [HIGH] [STEP]
# (default build/native, 3 rounds, 7 threads, 100..160 MB in steps of 2)
# Under AddressSanitizer (a build with VOXEL_SANITIZE=ON) ulimit -v cannot
# be used (its shadow memory alone passes any such limit): ASAN=1 limits the
# resident memory instead, through ASAN_OPTIONS soft_rss_limit_mb (every
# malloc and new fails while the process is above it) with
# allocator_may_return_null=1, and runs bench/vrastik_throwingnew, whose
# operator new throws std::bad_alloc where ASan's would end the process.
# An ASan run of 7 threads peaks near 185 MB (configure with VOXEL_BENCH=ON):
#   ASAN=1 bench/vrastik-oom.sh build/sanitize 3 7 60 190 10
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/native}" && pwd)
rounds=${2:-3}
threads=${3:-7}
low=${4:-100}
high=${5:-160}
step=${6:-2}
vrastik=$build/vrastik/vrastik
[ "${ASAN:-0}" = 1 ] && vrastik=$build/bench/vrastik_throwingnew
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

declare -A count=()
bad=0
for ((r = 0; r < rounds; r++)); do
    for ((mb = low; mb <= high; mb += step)); do
        printf old > mundra.gmv
        if [ "${ASAN:-0}" = 1 ]; then
            ASAN_OPTIONS="allocator_may_return_null=1:soft_rss_limit_mb=$mb:detect_leaks=0" \
                VRASTIK_THREADS=$threads "$vrastik" 3 8192 128 > out.txt 2> err.txt
            code=$?
        else
            (ulimit -v $((mb * 1024)); VRASTIK_THREADS=$threads exec "$vrastik" 3 8192 128) > out.txt 2> err.txt
            code=$?
        fi
        size=$(stat -c %s mundra.gmv)
        stray=$(find . -name 'mundra.gmv.*' | wc -l)
        outcome=other
        if [ "$code" = 210 ] && [ "$size" -gt 1000 ]; then
            outcome=written
        elif [ "$code" = 255 ] && [ "$size" = 3 ] && grep -q "out of memory" out.txt; then
            outcome="out of memory"
        fi
        [ "$stray" = 0 ] || outcome="$outcome, temporary file left"
        count[$outcome]=$((${count[$outcome]:-0} + 1))
        if [ "$outcome" != written ] && [ "$outcome" != "out of memory" ]; then
            bad=1
            echo "limit $mb MB, round $r: exit $code, map $size bytes, $stray stray: $outcome"
            tail -c 300 out.txt | tr '\r' '\n' | tail -3
            tail -3 err.txt
        fi
        rm -f mundra.gmv.*
    done
done
summary=""
for k in "${!count[@]}"; do summary+="$k ${count[$k]}; "; done
echo "threads $threads, $low..$high MB step $step, $rounds rounds: $summary"
exit $bad

#!/usr/bin/env bash
# Speed-up of whole vrastik runs with the thread count: every case runs
# with VRASTIK_THREADS=1 and with each further count, interleaved, REPEATS
# times; the table gives median wall seconds, the speed-up over one thread,
# the serial fraction that speed-up implies (Amdahl: f = (n/s - 1) / (n - 1))
# and the peak resident memory. The machine's load and the time of one busy
# loop on each core are printed before and after: other processes on the
# cores, here or on the host of a virtual machine, make the threaded runs
# slower, and a core that is slower than the others says so.
#   bench/vrastik-threads.sh [BUILD_DIR] [REPEATS] [THREADS...]
# (default build/rel, 5 repeats, threads 2)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/rel}" && pwd)
repeats=${2:-5}
shift $(( $# > 2 ? 2 : $# ))
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(2)
vrastik=$build/vrastik/vrastik
e=$root/examples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cases=(
    "3 8192 128|default cave"
    "3 32768 128|default cave, 32768 rocks"
    "3 8192 128 $e/ground.tx $e/rock.tx $e/moss.tx $e/crystal.tx $e/sandstone.tx|textured default cave"
)

# One run: "wall_seconds peak_kb".
run() {
    VRASTIK_THREADS=$1 /usr/bin/time -o "$work/t" -f "%e %M" "$vrastik" $2 >/dev/null || true
    tail -1 "$work/t"
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# "busy loop per core: cpu0 310 ms cpu1 305 ms ..." (the first 8 cores)
corespeeds() {
    local out="" c t0 cores
    cores=$(nproc)
    for ((c = 0; c < cores && c < 8; c++)); do
        t0=$(date +%s%N)
        taskset -c "$c" bash -c 'for ((i = 0; i < 200000; i++)); do :; done'
        out+=" cpu$c $((($(date +%s%N) - t0) / 1000000)) ms"
    done
    echo "busy loop per core:$out"
}

echo "load before: $(uptime)"
corespeeds
printf '%-28s %7s %9s %9s %9s %9s\n' case threads "wall s" speed-up serial "peak MB"
for c in "${cases[@]}"; do
    args=${c%%|*}
    name=${c#*|}
    declare -A walls=() peaks=()
    for ((i = 0; i < repeats; i++)); do
        for n in 1 "${counts[@]}"; do
            read -r w m <<< "$(run "$n" "$args")"
            walls[$n]+="$w "
            peaks[$n]+="$m "
        done
    done
    one=$(echo ${walls[1]} | tr ' ' '\n' | median)
    for n in 1 "${counts[@]}"; do
        t=$(echo ${walls[$n]} | tr ' ' '\n' | median)
        p=$(echo ${peaks[$n]} | tr ' ' '\n' | sort -g | tail -1)
        s=$(awk -v a="$one" -v b="$t" 'BEGIN {print a / b}')
        f=$(awk -v s="$s" -v n="$n" 'BEGIN {if (n > 1) printf "%.3f", (n / s - 1) / (n - 1); else print "-"}')
        printf '%-28s %7d %9.3f %9.2f %9s %9.1f\n' "$name" "$n" "$t" "$s" "$f" "$(awk -v p="$p" 'BEGIN {print p / 1024}')"
    done
    unset walls peaks
done
echo "load after: $(uptime)"
corespeeds

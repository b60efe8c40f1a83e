# shellcheck shell=bash
# Shared by the batch tests (sourced; CTest gives them the build directory): a
# scratch folder, checks that name what failed, and the checks of a batch folder.
set -uo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
vrastik=$build/vrastik/vrastik
mapview=$build/tools/mapview
scratch=$(mktemp -d /tmp/batchtest.XXXXXXXX)
failures=0
cleanups=()   # commands that stop what the test started; at exit, newest first

finish() {
    local i status=$?
    for ((i = ${#cleanups[@]} - 1; i >= 0; i--)); do eval "${cleanups[i]}"; done
    rm -rf "$scratch"
    [ $failures -eq 0 ] && [ $status -eq 0 ] && exit 0
    echo "FAILED: $failures check(s)" >&2
    exit 1
}
trap finish EXIT

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# check DESCRIPTION COMMAND...: the command must succeed.
check() {
    "${@:2}" || fail "$1"
}

# Stops the test at once (a later check would only repeat the failure).
abort() {
    fail "$*"
    exit 1
}

# Waits until the command succeeds; false after a minute (only a guard
# against waiting for ever, not a timing check).
waitfor() {
    local i
    for ((i = 0; i < 3000; i++)); do
        "$@" && return 0
        sleep 0.02
    done
    return 1
}

# logged NAME COMMAND...: runs it with its output shown and kept in
# $scratch/NAME.txt; its exit status in $status.
logged() {
    status=0
    "${@:2}" > "$scratch/$1.txt" 2>&1 || status=$?
    cat "$scratch/$1.txt"
}

# A seed made by the batch equals a direct vrastik run with the same arguments
# ($scratch/direct/SEED, every thread): the same map bytes, summary.csv true to
# them (size and SHA-256 from coreutils, figures from mapview), a 128 x 128
# thumbnail an independent reader decodes, and nothing else but the exports.
checkseed() {
    local outdir=$1 seed=$2 map=$scratch/direct/$2/mundra.gmv figures got status=0
    mkdir -p "$scratch/direct/$seed"
    (cd "$scratch/direct/$seed" && "$vrastik" "$seed" "${@:3}" > /dev/null) || status=$?
    [ $status -eq 210 ] || abort "direct run of seed $seed: exit $status"
    check "seed $seed: map bytes differ from the direct run" cmp -s "$outdir/$seed/mundra.gmv" "$map"
    figures=$("$mapview" "$map" --stats |
        awk '/^coloured voxels/ { c = $3 } /^air fraction/ { a = $3 } END { print c "," a }')
    got=$(grep "^$seed," "$outdir/summary.csv" | cut -d, -f6-)   # from status on (checkbatch checks the header)
    [ "$got" = "ok,$(stat -c %s "$map"),$(sha256sum < "$map" | cut -d' ' -f1),$figures" ] ||
        fail "seed $seed: summary.csv says $got"
    [ "$(python3 "$root/tests/support/pngread.py" "$outdir/$seed/thumb.png" /dev/null)" = "128 128" ] ||
        fail "seed $seed: thumb.png is not a 128 x 128 picture"
    [ "$(ls "$outdir/$seed" | grep -v '^cave\.' | tr '\n' ' ')" = "mundra.gmv result.csv thumb.png vrastik.log " ] ||
        fail "seed $seed: the folder holds $(ls "$outdir/$seed" | tr '\n' ' ')"
}

# checkbatch OUTDIR "SEEDS" VRASTIK_ARGS...: every seed as checkseed wants
# it, the contact sheet a PNG (pngcheck) two tiles of 136 pixels wide (every
# batch here has 2 to 4 seeds), no temporary file left.
checkbatch() {
    local seed header=seed,kind,rocks,ground,seconds,status,map_bytes,map_sha256,coloured_voxels,air_fraction
    [ "$(head -1 "$1/summary.csv")" = $header ] || fail "summary.csv's header"
    for seed in $2; do
        checkseed "$1" "$seed" "${@:3}"
    done
    check "contact.png is not a good PNG" pngcheck -q "$1/contact.png"
    [ "$(identify -format %w "$1/contact.png")" = 272 ] || fail "contact.png is not 2 tiles wide"
    [ -z "$(find "$1" -name '*.tmp')" ] || fail "half-written files left: $(find "$1" -name '*.tmp')"
}

# A free TCP port on 127.0.0.1.
freeport() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Stops a daemon by the pid in its pid file and waits until it is gone.
stopbypidfile() {
    local pid
    [ -s "$1" ] || return 0
    pid=$(cat "$1")
    kill "$pid" 2> /dev/null || return 0
    waitfor bash -c "! kill -0 $pid 2> /dev/null" || kill -KILL "$pid" 2> /dev/null
}

# shellcheck shell=bash
# Shared by the batch tests (sourced): a scratch folder removed at the end,
# checks that name what failed, direct vrastik runs to compare with, and the
# checks every finished batch folder must pass.
#   batch_*.sh BUILD_DIR     (CTest passes the build directory)
set -uo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
vrastik=$build/vrastik/vrastik
mapview=$build/tools/mapview
scratch=$(mktemp -d /tmp/batchtest.XXXXXXXX)
failures=0
cleanups=()

# Runs at exit, whatever happened: the test's own clean-ups (stopping what
# it started), newest first, then the scratch folder goes.
finish() {
    local i status=$?
    for ((i = ${#cleanups[@]} - 1; i >= 0; i--)); do
        eval "${cleanups[i]}"
    done
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
    local what=$1
    shift
    "$@" || fail "$what"
}

# Stops the test at once (a later check would only repeat the failure).
abort() {
    fail "$*"
    exit 1
}

# Waits until the command succeeds; gives up (false) after a minute. Not a
# timing check: only a guard against waiting for ever.
waitfor() {
    local i
    for ((i = 0; i < 3000; i++)); do
        "$@" && return 0
        sleep 0.02
    done
    return 1
}

# Direct vrastik run in a folder of its own, as a person runs it (every
# thread): $scratch/direct/SEED/mundra.gmv.
directrun() {
    local seed=$1 status=0
    shift
    mkdir -p "$scratch/direct/$seed"
    (cd "$scratch/direct/$seed" && "$vrastik" "$seed" "$@" > /dev/null) || status=$?
    [ $status -eq 210 ] || abort "direct run of seed $seed: exit $status"
}

# The field of summary.csv's line for a seed, by column name.
summaryfield() {
    awk -F, -v seed="$2" -v name="$3" \
        'NR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next } $1 == seed { print $col[name] }' "$1/summary.csv"
}

# A seed made by the batch equals its direct run: the same map bytes, and
# summary.csv tells the truth about them (size and SHA-256 from coreutils,
# figures from mapview on the direct map), a 128 x 128 thumbnail that an
# independent reader decodes, nothing half-written (the exports, when asked
# for, are checked by the caller).
checkseed() {
    local outdir=$1 seed=$2 map=$scratch/direct/$2/mundra.gmv stats
    check "seed $seed: map bytes differ from the direct run" cmp -s "$outdir/$seed/mundra.gmv" "$map"
    [ "$(summaryfield "$outdir" "$seed" status)" = ok ] || fail "seed $seed: status is not ok"
    [ "$(summaryfield "$outdir" "$seed" map_bytes)" = "$(stat -c %s "$map")" ] || fail "seed $seed: map_bytes"
    [ "$(summaryfield "$outdir" "$seed" map_sha256)" = "$(sha256sum < "$map" | cut -d' ' -f1)" ] ||
        fail "seed $seed: map_sha256"
    stats=$("$mapview" "$map" --stats)
    [ "$(summaryfield "$outdir" "$seed" coloured_voxels)" = "$(echo "$stats" | awk '/^coloured voxels/ { print $3 }')" ] ||
        fail "seed $seed: coloured_voxels"
    [ "$(summaryfield "$outdir" "$seed" air_fraction)" = "$(echo "$stats" | awk '/^air fraction/ { print $3 }')" ] ||
        fail "seed $seed: air_fraction"
    [ "$(python3 "$root/tests/support/pngread.py" "$outdir/$seed/thumb.png" /dev/null)" = "128 128" ] ||
        fail "seed $seed: thumb.png is not a 128 x 128 picture"
    [ "$(ls "$outdir/$seed" | grep -v '^cave\.' | tr '\n' ' ')" = "mundra.gmv result.csv thumb.png vrastik.log " ] ||
        fail "seed $seed: the folder holds $(ls "$outdir/$seed" | tr '\n' ' ')"
}

# No temporary (half-written) file anywhere in a batch folder, and every map
# in it whole.
checknohalves() {
    local halves map
    halves=$(find "$1" -name '*.tmp')
    [ -z "$halves" ] || fail "half-written files left: $halves"
    while IFS= read -r map; do
        "$mapview" "$map" --check > /dev/null || fail "$map is damaged"
    done < <(find "$1" -name mundra.gmv)
}

# The contact sheet is a PNG (pngcheck) as wide as COLUMNS tiles of 128
# pixels and a 4-pixel border each side.
checkcontact() {
    check "contact.png is not a good PNG" pngcheck -q "$1/contact.png"
    [ "$(identify -format %w "$1/contact.png")" = $(($2 * 136)) ] || fail "contact.png is not $2 tiles wide"
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

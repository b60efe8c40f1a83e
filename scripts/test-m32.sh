#!/usr/bin/env bash
# Builds the expression compiler and its tests as 32-bit code (the CMake
# preset "m32", in build/m32) and runs them under qemu-i386, so the ia32
# code flavour is executed too. Then compares the fixed expression table of
# both flavours: exact operations bit for bit, transcendental ones within
# each row's tolerance. The native side comes from the build named by
# NATIVE_BUILD (scripts/test.sh passes its own), or from the preset
# "native" (build/native). Warnings are errors. The results are JUnit files,
# as scripts/test.sh counts them: build/m32/junit.xml from ctest and
# build/m32/valuetable.xml, the table as one test case. The last line gives
# the counts:
#   test-m32: P of N tests passed; value table: identical (...)
#   scripts/test-m32.sh [ctest arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
m32="$root/build/m32"
native=${NATIVE_BUILD:-$root/build/native}
jobs=${JOBS:-2}

for tool in qemu-i386 objdump python3; do
    command -v "$tool" >/dev/null || { echo "test-m32: $tool not found (bash scripts/setup.sh test)" >&2; exit 2; }
done

rm -f "$m32/junit.xml" "$m32/valuetable.xml"
cd "$root"
cmake --preset m32 >/dev/null
cmake --build --preset m32 -j"$jobs"
status=0
ctest --preset m32 -j"$jobs" "$@" || status=1
read -r passed total < <(python3 "$root/scripts/junit.py" count "$m32/junit.xml" || true)
[ "${total:-0}" -gt 0 ] || { echo "test-m32: ctest ran no test" >&2; status=1; }

# The same table through both flavours, natively and in the 32-bit build.
if [ -z "${NATIVE_BUILD:-}" ]; then
    cmake --preset native >/dev/null
    cmake --build --preset native -j"$jobs" --target compiler_crossvalues
fi
start=$EPOCHREALTIME
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
table=DIFFERS
if VOXEL_CROSSVALUES="$tmp/x64" "$native/tests/compiler/compiler_crossvalues" --gtest_brief=1 >/dev/null &&
   VOXEL_CROSSVALUES="$tmp/ia32" qemu-i386 "$m32/tests/compiler/compiler_crossvalues" --gtest_brief=1 >/dev/null; then
    if ! cmp -s "$tmp/x64" "$tmp/ia32"; then
        echo "test-m32: exact results differ between the x64 and ia32 flavours:" >&2
        diff "$tmp/x64" "$tmp/ia32" >&2 || true
    elif table=$(python3 - "$tmp/x64" "$tmp/ia32" <<'PY'
import sys
exact = sum(1 for line in open(sys.argv[1]) if line.strip())
a = open(sys.argv[1] + ".approx").read().split("\n")
b = open(sys.argv[2] + ".approx").read().split("\n")
if exact == 0 or len(a) != len(b):
    sys.stderr.write("test-m32: the two builds recorded different cases\n"); sys.exit(1)
bad = 0
for la, lb in zip(a, b):
    if not la:
        continue
    ka, va = la.rsplit(" ", 1)
    kb, vb = lb.rsplit(" ", 1)
    tol = float(ka.split()[1])
    x, y = float.fromhex(va), float.fromhex(vb)
    if ka != kb or (x != y and abs(x - y) > tol * max(abs(x), 1.0) * 2):
        sys.stderr.write("test-m32: %s: x64 %r, ia32 %r\n" % (ka, x, y)); bad += 1
same = sum(1 for la, lb in zip(a, b) if la == lb and la)
total = sum(1 for la in a if la)
print("identical (%d exact results; transcendental: %d of %d bit-identical, all within tolerance)"
      % (exact, same, total))
sys.exit(1 if bad else 0)
PY
); then
        :
    else
        table=DIFFERS
    fi
else
    echo "test-m32: the value table could not be recorded" >&2
fi
[ "$table" = DIFFERS ] && status=1
result=pass
[ "$table" = DIFFERS ] && result=fail
printf 'valuetable\t%s\t%s\tvalue table: %s\n' "$result" "$(awk -v a="$start" -v b="$EPOCHREALTIME" \
    'BEGIN { printf "%.1f", b - a }')" "$table" | python3 "$root/scripts/junit.py" write "$m32/valuetable.xml" 32-bit

echo "test-m32: ${passed:-0} of ${total:-0} tests passed; value table: $table"
exit "$status"

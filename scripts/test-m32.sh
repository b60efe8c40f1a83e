#!/bin/sh
# Build the expression compiler and its tests as 32-bit code and run them
# under qemu-i386, so the ia32 code flavour is executed too. Then compare the
# fixed expression table of both builds: exact operations bit for bit,
# transcendental ones within each row's tolerance.
#   scripts/test-m32.sh [ctest arguments...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
m32="$root/build-m32"
native="$root/build-m32-native"
jobs=${JOBS:-2}

for tool in qemu-i386 objdump; do
    command -v "$tool" >/dev/null || { echo "test-m32: $tool not found (apt-get install qemu-user binutils)" >&2; exit 2; }
done

cmake -S "$root" -B "$m32" -DVOXEL_M32=ON -DVOXEL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$m32" -j"$jobs"
status=0
(cd "$m32" && ctest --output-on-failure -j"$jobs" "$@") || status=1

# The same table through both flavours, natively and in the 32-bit build.
cmake -S "$root" -B "$native" -DVOXEL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j"$jobs" --target compiler_crossvalues
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
VOXEL_CROSSVALUES="$tmp/x64" "$native/tests/compiler/compiler_crossvalues" --gtest_brief=1 >/dev/null
VOXEL_CROSSVALUES="$tmp/ia32" qemu-i386 "$m32/tests/compiler/compiler_crossvalues" --gtest_brief=1 >/dev/null

if ! cmp -s "$tmp/x64" "$tmp/ia32"; then
    echo "test-m32: exact results differ between the x64 and ia32 flavours:" >&2
    diff "$tmp/x64" "$tmp/ia32" >&2 || true
    exit 1
fi
python3 - "$tmp/x64.approx" "$tmp/ia32.approx" <<'PY'
import sys
a = open(sys.argv[1]).read().split("\n")
b = open(sys.argv[2]).read().split("\n")
bad = 0
if len(a) != len(b):
    print("test-m32: the two builds recorded different cases"); sys.exit(1)
for la, lb in zip(a, b):
    if not la:
        continue
    ka, va = la.rsplit(" ", 1)
    kb, vb = lb.rsplit(" ", 1)
    tol = float(ka.split()[1])
    x, y = float.fromhex(va), float.fromhex(vb)
    if ka != kb or (x != y and abs(x - y) > tol * max(abs(x), 1.0) * 2):
        print("test-m32: %s: x64 %r, ia32 %r" % (ka, x, y)); bad += 1
same = sum(1 for la, lb in zip(a, b) if la == lb and la)
print("test-m32: %d exact results identical; transcendental: %d of %d bit-identical, all within tolerance"
      % (sum(1 for l in open(sys.argv[1].replace('.approx', ''))), same, sum(1 for l in a if l)) if not bad else "")
sys.exit(1 if bad else 0)
PY
[ "$status" -eq 0 ] || echo "test-m32: ctest reported failures (see above)" >&2
exit "$status"

#!/usr/bin/env bash
# Builds and runs every test: the native build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer (whole-map runs left out),
# the 32-bit compiler tests under qemu-i386, and a bounded fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test
jobs=$(nproc)

echo "== native build"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release -j"$jobs" --output-on-failure | tee build/release/ctest.out

echo "== sanitizer build"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOXEL_SANITIZE=ON -DVOXEL_BENCH=OFF >/dev/null
cmake --build build/sanitize -j"$jobs"
ctest --test-dir build/sanitize -j"$jobs" --output-on-failure -LE fullrun

if [ -f scripts/test-m32.sh ]; then
    echo "== 32-bit compiler build under qemu-i386"
    bash scripts/test-m32.sh
fi
if [ -f scripts/fuzz.sh ]; then
    echo "== fuzzing the expression compiler"
    bash scripts/fuzz.sh 60
fi

# The native suite's count as the closing line.
summary=$(grep -E 'tests passed, [0-9]+ tests failed out of' build/release/ctest.out)
total=${summary##* }
failed=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests failed.*/\1/')
echo "tests: $((total - failed)) passed, $failed failed"

#!/usr/bin/env bash
# Fuzz compileexpr: build tests/compiler/fuzz_compileexpr.cpp with clang++
# (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) straight from the
# compiler's sources and run it for SECONDS (default 60). Exits non-zero when
# the fuzzer finds a crash, an overflow, a leak or a hang (10 s per input).
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_DIR:-$root/build/fuzz}
mkdir -p "$out/corpus"

clang++ -std=c++20 -g -O1 -ffp-contract=off -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root/compiler/include" -I"$root/compiler" "$root"/compiler/*.cpp "$root"/compiler/*_x64.S \
    "$root/tests/compiler/fuzz_compileexpr.cpp" -o "$out/fuzz_compileexpr"

# A few seeds so the fuzzer starts from texts that reach every stage.
seed() { printf '%b' "$2" > "$out/corpus/$1"; }
seed default '(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n(d1*c1 + d2*c2 + d3/(abs(sin(d3*.1))+1)*c3 + (c4+fn+1)*16)*sc'
seed loops '(x)\na = 0; for (i = 0; i < 10; i += 1) a += i; DO a -= 1; WHILE (a > 40); a'
seed branches '(x)\nIF (x > 0) y = 1; ELSE IF (x < -1) y = 2; ELSE { y = 3; y++; } y'
seed labels '(x)\nGOTO B; A: x = 1; B: IF (x) GOTO A; x % 3'
seed functions '(a,b)\npow(a,b)+fact(a)+log(a,b)+atan2(a,b)+min(a,b)+max(a,b)+fmod(a,b)+rnd+nrnd+sgn(a)+unit(b)'
seed comments '(x) /* ( */ x // (\n + -x^2 - - 1 && x || 0 != x'

"$out/fuzz_compileexpr" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus"

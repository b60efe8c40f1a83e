// Portable versions of the run-time rules of compiled expressions.
//
// Constant folding uses them, and the test oracle evaluates quads with them;
// the assembly routines are checked against them. Long double arithmetic.
#pragma once
#include <cstdint>

// gamma(x + 1) by the rational Lanczos approximation; +infinity when
// x <= -1, x > 170.6243769562767 or x is a NaN.
long double factrule(long double x);

// 2^a as the routines build it: 2^(a - n) times 2^n, n = a rounded to nearest.
long double pow2rule(long double a);

// x to the power y: +0 base rules (a NaN exponent gives the NaN), negative
// bases with integral exponents (beyond 2^63 every exponent is even), the x87
// default NaN otherwise.
long double powrule(long double x, long double y);

// The x87 default NaN (sign set, quiet).
long double defaultnan();

// a % b as folded: a - floor(a / |b|) * |b|.
long double foldmodrule(long double a, long double b);
// a % b as the compiled code computes it: remainder with the sign of a
// (a - b * trunc(a / b)), plus |b| if that is negative.
long double runmodrule(long double a, long double b);

// FLOOR through a 64-bit integer: values outside its range give -2^63, and
// a zero result is +0.
long double floorrule(long double x);
// SGN and UNIT.
long double sgnrule(long double x);
long double unitrule(long double x);
// MIN: a unless a > b; MAX: a unless a < b (as folded).
long double minrule(long double a, long double b);
long double maxrule(long double a, long double b);

// The random state of RND and NRND with its normal-deviate cache.
struct randomrules {
    uint32_t state;       // twice the classic rand() state; 2 at program start
    bool pending;         // a second normal deviate is waiting
    long double pendingvalue;
};
void seedrules(randomrules &r, int32_t seed);   // state = 2 * seed, cache empty
int drawrule(randomrules &r);                   // integer 0..32767
long double rndrule(randomrules &r);            // draw / 32768
long double nrndrule(randomrules &r);           // polar method with a pending value

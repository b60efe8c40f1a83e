#include "packcolour.h"

#include <cmath>
#include <emmintrin.h>

// Round to nearest, ties to even, as the processor's integer conversion does.
// A value that is not finite becomes 0; a finite one beyond the integer range
// clamps like any other large value.
static uint32_t channel(double v)
{
    if (!std::isfinite(v))
        return 0;
    if (std::fabs(v) >= 2147483647.0)
        return v > 0 ? 255 : 0;
    long n = _mm_cvtsd_si64(_mm_set_sd(v));    // lrint, without the library call
    if (n < 0)
        return 0;
    return n > 255 ? 255 : uint32_t(n);
}

uint32_t packcolour(float r, float g, float b)
{
    return channel(r) << 16 | channel(g) << 8 | channel(b);
}

// The bias is taken off in double precision, where v - bias stays just above
// v - 0.5: whole values keep their value, everything else is rounded down.
uint32_t packgencolour(float r, float g, float b)
{
    const double bias = 0.49999991f;   // bits 0x3EFFFFFD
    return 0x80000000u | channel(r - bias) << 16 | channel(g - bias) << 8 | channel(b - bias);
}

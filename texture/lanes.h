// Four-lane float and integer vectors (GCC vector extensions, SSE2) for the
// loops of the point grid and the generator's nearest-rock searches. Each
// lane does exactly the float operations the scalar code would, in the
// same order, so the results are the same bits.
#pragma once
#include <cstdint>
#include <cstring>
#include <emmintrin.h>

typedef float float4 __attribute__((vector_size(16)));
typedef int32_t int4 __attribute__((vector_size(16)));

inline float4 load4(const float *p)
{
    float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store4(float *p, float4 v)
{
    std::memcpy(p, &v, sizeof v);
}

// Bit k set when lane k of a comparison is true.
inline int lanemask(int4 m)
{
    return _mm_movemask_ps(_mm_castsi128_ps(__m128i(m)));
}

// The designer's default expression written in C++, for comparison: g++ -O2
// (the RelWithDebInfo flags), doubles in SSE registers, sin from libm.
#include <cmath>

double nativeexpr(const double *a)
{
    double d1 = a[3], d2 = a[4], d3 = a[5], c1 = a[6], c2 = a[7], c3 = a[8], c4 = a[9], fn = a[10], sc = a[11];
    return (d1 * c1 + d2 * c2 + d3 / (std::fabs(std::sin(d3 * .1)) + 1) * c3 + (c4 + fn + 1) * 16) * sc;
}

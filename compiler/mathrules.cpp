// Portable versions of the run-time rules (see mathrules.h).
#include <cmath>
#include <limits>
#include "mathrules.h"

long double defaultnan()
{
    return -std::numeric_limits<long double>::quiet_NaN();
}

long double pow2rule(long double a)
{
    if (std::isnan(a))
        return a;
    if (std::isinf(a))
        return a > 0 ? a : 0.0L;
    long double n = std::nearbyint(a);
    return std::ldexp(std::exp2(a - n), (int)std::fmax(std::fmin(n, 1e6L), -1e6L));
}

// The coefficients are doubles, as the routine keeps them; log2(e) is the
// x87's own extended constant.
long double factrule(long double x)
{
    if (!(x > -1.0) || x > 170.6243769562767)
        return INFINITY;
    long double z = x + 1.0;
    long double n = ((((((2.506628275107298 * z + 83.8676043423952) * z + 1168.926494792211) * z
                        + 8687.245297053594) * z + 36308.29514770109) * z + 80916.62789524846) * z)
                    + 75122.63315304522;
    long double d = ((((((z + 21.0) * z + 175.0) * z + 735.0) * z + 1624.0) * z + 1764.0) * z + 720.0) * z;
    long double a = (z + 0.5) * std::log2(z + 5.5) - (z + 5.5) * 1.4426950408889634073599246810018921L;
    return (n / d) * pow2rule(a);
}

static bool allbitszero(long double x)
{
    return x == 0.0L && !std::signbit(x);
}

long double powrule(long double x, long double y)
{
    if (allbitszero(x)) {
        if (std::isnan(y))
            return y;
        if (y > 0)
            return 0.0L;
        if (y == 0)
            return 1.0L;
        return INFINITY;
    }
    long double r = pow2rule(y * std::log2(std::fabs(x)));
    if (!std::signbit(x))
        return r;
    // every double of magnitude 2^63 or more is an even integer
    if (std::fabs(y) >= 9223372036854775808.0L)
        return r;
    long double rounded = std::nearbyint(y);
    long long k = (long long)rounded;
    if (y == rounded)
        return (k & 1) ? -r : r;
    return defaultnan();
}

long double foldmodrule(long double a, long double b)
{
    long double m = std::fabs(b);
    return a - std::floor(a / m) * m;
}

long double runmodrule(long double a, long double b)
{
    long double r = std::fmod(a, b);
    if (r < 0)
        r += std::fabs(b);
    return r;
}

long double floorrule(long double x)
{
    if (!(std::fabs(x) < 9223372036854775808.0L))
        return -9223372036854775808.0L;
    return (long double)(long long)std::floor(x);   // an integer zero has no sign
}

long double sgnrule(long double x)
{
    return x < 0 ? -1.0L : x == 0 ? 0.0L : 1.0L;
}

long double unitrule(long double x)
{
    return x < 0 ? 0.0L : x == 0 ? 0.5L : 1.0L;
}

long double minrule(long double a, long double b)
{
    return a > b ? b : a;
}

long double maxrule(long double a, long double b)
{
    return a < b ? b : a;
}

void seedrules(randomrules &r, int32_t seed)
{
    r.state = 2u * (uint32_t)seed;
    r.pending = false;
    r.pendingvalue = 0;
}

int drawrule(randomrules &r)
{
    r.state = r.state * 214013u + 5062022u;
    return (int)(r.state >> 17);
}

long double rndrule(randomrules &r)
{
    return drawrule(r) * (1.0L / 32768.0L);
}

long double nrndrule(randomrules &r)
{
    if (r.pending) {
        r.pending = false;
        return r.pendingvalue;
    }
    long double u, v, s;
    do {
        u = (drawrule(r) - 16384) * 2 * (1.0L / 32768.0L);
        v = (drawrule(r) - 16384) * 2 * (1.0L / 32768.0L);
        s = v * v + u * u;
    } while (!(s < 1.0L) || s == 0);   // s = 0 would give 0 * infinity
    long double m = std::sqrt(std::log(s) * (-2.0L / s));
    r.pendingvalue = u * m;
    r.pending = true;
    return v * m;
}

// Reference evaluator (see refeval.h).
#include "refeval.h"
#include <cmath>
#include <cstring>
#include <vector>
#include "state.h"

namespace {

// Values of one run: register homes, spill slots and parameters.
struct machine {
    std::vector<long double> homes, spills, params;
    bool defined = true;
    const double *args;
    int count;
};

// 53-bit precision control: sums, products, quotients and roots are rounded
// to double precision (the exponent range of test values stays inside double).
long double round53(long double x)
{
    return (long double)(double)x;
}

bool uniformtruth;   // of the current run

bool isregister(uint32_t w)
{
    return operandkind(w) == kindregister;
}

long double &location(machine &m, uint32_t w, long double &scratch)
{
    uint32_t index = operandindex(w);
    switch (operandkind(w)) {
    case kindregister:
        if (index >= m.homes.size())
            m.homes.resize(index + 1, NAN);
        return m.homes[index];
    case kindstack:
        if (index < cs.spillcount) {
            if (index >= m.spills.size())
                m.spills.resize(index + 1, NAN);
            return m.spills[index];
        } else {
            uint32_t k = (operandvalue(w) - cs.parambase) / 8;
            if (k >= m.params.size())
                m.params.resize(k + 1, NAN);
            return m.params[k];
        }
    case kindargument:
        if (index >= m.params.size())
            m.params.resize(index + 1, NAN);
        return m.params[index];
    case kindconst:
        scratch = w == dummyoperand ? 0.0L : (long double)cs.pool[index];
        return scratch;
    default:
        scratch = NAN;
        return scratch;
    }
}

long double read(machine &m, uint32_t w)
{
    long double scratch;
    return location(m, w, scratch);
}

// Memory is double precision: a store into a spill slot or parameter rounds.
void write(machine &m, uint32_t w, long double v)
{
    long double scratch;
    location(m, w, scratch) = isregister(w) ? v : (long double)(double)v;
}

// Truth of an operand: FTST in a register (zero and NaN are false), all 64
// bits in memory (negative zero and NaN are true).
bool truth(long double v, bool registerform)
{
    if (registerform || uniformtruth)
        return !(v == 0) && !std::isnan(v);
    double d = (double)v;
    uint64_t bits;
    memcpy(&bits, &d, sizeof bits);
    return bits != 0;
}

// FPREM: the exact remainder with the sign of a. When the exponents differ
// by D >= 64 one step only reduces a by a multiple of b * 2^s, s the largest
// multiple of 32 not above D - 32 (measured on this processor's FPREM).
long double fprem(long double a, long double b)
{
    if (std::isfinite(a) && std::isfinite(b) && a != 0 && b != 0) {
        int d = std::ilogb(a) - std::ilogb(b);
        if (d >= 64)
            return std::fmod(a, std::ldexp(b, (d - 32) / 32 * 32));
    }
    return std::fmod(a, b);
}

// FSIN and FCOS leave finite operands of magnitude 2^63 and more unchanged.
bool outofrange(long double x)
{
    return std::isfinite(x) && std::fabs(x) >= 9223372036854775808.0L;
}

long double sinx87(long double x)
{
    return outofrange(x) ? x : std::sin(x);
}

long double cosx87(long double x)
{
    return outofrange(x) ? x : std::cos(x);
}

// TAN keeps such operands too (FPTAN refuses them and the code keeps st(0)).
long double tanx87(long double x)
{
    return outofrange(x) ? x : std::tan(x);
}

long double expx87(long double x)
{
    long double a = round53(x * 1.4426950408889634073599246810018921L);
    if (std::isnan(a) || std::isinf(a))
        return std::exp(x);
    long double n = std::nearbyint(a);
    long double r = round53(std::exp2(a - n) - 1.0L + 1.0L);
    return round53(std::ldexp(r, (int)n));
}

// 2^a is built from an 80-bit power of two: beyond its range the result is not defined.
void checkrange(machine &m, long double a)
{
    if (std::isfinite(a) && std::fabs(a) > 16000)
        m.defined = false;
}

long double compute(machine &m, const quad &x, randomrules &random)
{
    long double a = read(m, x.src1), b = read(m, x.src2);
    bool unordered = std::isnan(a) || std::isnan(b);
    bool registers = isregister(x.src1) || isregister(x.src2);
    switch (x.op) {
    case oprnd: return rndrule(random);
    case opnrnd: return nrndrule(random);
    case opmov: return a;
    case opnegmov: return -a;
    case opnequ0: return truth(a, isregister(x.src1)) ? 1 : 0;
    case opabs: return std::fabs(a);
    case opsgn: return (a < 0 || std::isnan(a)) ? -1 : a == 0 ? 0 : 1;
    case opunit: return (a < 0 || std::isnan(a)) ? 0 : a == 0 ? 0.5L : 1;
    case opfloor: return floorrule(a);
    case opceil: return -floorrule(-a);
    case opsin: return sinx87(a);
    case opcos: return cosx87(a);
    case optan: return tanx87(a);
    case opasin: return std::atan2(a, round53(std::sqrt(round53(1.0L - round53(a * a)))));
    case opacos: return std::atan2(round53(std::sqrt(round53(1.0L - round53(a * a)))), a);
    case opatan: return std::atan2(a, 1.0L);
    case opsqrt: return round53(std::sqrt(a));
    case opexp: checkrange(m, a * 1.4426950408889634L); return expx87(a);
    case opfact: return factrule(a);
    case oplog: return std::log(a);
    case oppow: checkrange(m, b * std::log2(std::fabs(a))); return powrule(a, b);
    case opmul: return round53(a * b);
    case opdiv: return round53(a / b);
    case opmod: {
        long double r = fprem(a, b);
        return (r < 0 || std::isnan(r)) ? round53(r + std::fabs(b)) : r;
    }
    case opadd: return round53(a + b);
    case opsub: return round53(a - b);
    case oplt: return (a < b || unordered) ? 1 : 0;
    case ople: return (a <= b || unordered) ? 1 : 0;
    case opgt: return a > b ? 1 : 0;
    case opge: return a >= b ? 1 : 0;
    case opeq: return (a == b || unordered) ? 1 : 0;
    case opne: return (a != b && !unordered) ? 1 : 0;
    case opand: return truth(a, registers) && truth(b, registers) ? 1 : 0;
    case opor: return truth(a, registers) || truth(b, registers) ? 1 : 0;
    case opmin: return (a <= b || unordered) ? a : b;
    case opmax: return a > b ? a : b;
    case opfmod: return fprem(a, b);
    case opatan2: return std::atan2(a, b);
    case oplogb: return round53(std::log2(a) / std::log2(b));
    default: return NAN;
    }
}

}  // namespace

refresult refevaluate(const double *args, int count, randomrules &random, long steplimit, bool uniform)
{
    uniformtruth = uniform;
    machine m;
    m.params.assign(args, args + count);
    m.args = args;
    m.count = count;
    // the last definition of a label is where its jumps go
    std::vector<uint32_t> target(cs.labelcounter + 1, 0);
    for (uint32_t i = 1; i < cs.quadcount; i++)
        if (cs.quads[i].op == opnul && operandvalue(cs.quads[i].dst) < target.size())
            target[operandvalue(cs.quads[i].dst)] = i;
    long double result = NAN;
    long steps = 0;
    bool special = false;
    for (uint32_t i = 1; i < cs.quadcount; i++) {
        if (++steps > steplimit)
            return {NAN, false, m.defined, special};
        const quad &x = cs.quads[i];
        uint32_t label = operandvalue(x.src2);
        switch (x.op) {
        case opnul:
            break;
        case opgoto:
            i = target[label];
            break;
        case opif0:
        case opif1:
            if (truth(read(m, x.src1), isregister(x.src1)) == (x.op == opif1))
                i = target[label];
            break;
        default:
            result = compute(m, x, random);
            special |= !std::isfinite(result);
            write(m, x.dst, result);
        }
    }
    return {(double)result, true, m.defined, special};
}

// The run-time routines and the calling layer, through compiled code:
// the random sequence against the classic rand(), NRND against an
// independent polar method, FACT against libm's gamma, the POW rules, the
// x87 control word and stack around exprcall.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "codegen.h"
#include "compiler.h"
#include "mathrules.h"

extern "C" double rawcall(exprfunc f, const double *args, int count);

namespace {

// Read before any test draws: the state the program starts with.
const uint32_t startstate = exprrandomstate();

exprfunc mustcompile(const char *text)
{
    exprfunc f = compileexpr(text);
    EXPECT_NE(f, nullptr) << text << ": " << compileerror();
    return f;
}

double call0(exprfunc f)
{
    double x = 0;
    return exprcall(f, &x, 1);
}

double call1(exprfunc f, double x)
{
    return exprcall(f, &x, 1);
}

double call2(exprfunc f, double x, double y)
{
    double a[2] = {x, y};
    return exprcall(f, a, 2);
}

uint64_t bitsof(double d)
{
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}

// The classic library rand(): state * 214013 + 2531011, bits 16..30.
struct classicrand {
    uint32_t state;
    int next()
    {
        state = state * 214013u + 2531011u;
        return (int)(state >> 16 & 0x7FFF);
    }
};

uint16_t x87controlword()
{
    uint16_t cw;
    asm volatile("fnstcw %0" : "=m"(cw));
    return cw;
}

void setx87controlword(uint16_t cw)
{
    asm volatile("fldcw %0" : : "m"(cw));
}

// Tag word of the x87 environment: 0xFFFF when every register is empty.
uint16_t x87tagword()
{
    unsigned char env[28];
    asm volatile("fnstenv %0\n\tfldenv %0" : "=m"(env) : : "memory");
    return (uint16_t)(env[8] | env[9] << 8);
}

TEST(runtime, randomStateStartsAtTwo)
{
    EXPECT_EQ(startstate, 2u);
}

TEST(runtime, rndFollowsTheClassicSequence)
{
    exprfunc rnd = mustcompile("(x)\nrnd");
    exprseed(1);                 // state 2, as at program start
    EXPECT_EQ(call0(rnd), 41 / 32768.0);
    EXPECT_EQ(call0(rnd), 18467 / 32768.0);
    EXPECT_EQ(call0(rnd), 6334 / 32768.0);
    const int32_t seeds[] = {0, 1, 2, 12345, -1, -77777, 2147483647, -2147483647 - 1};
    for (int32_t s : seeds) {
        exprseed(s);
        EXPECT_EQ(exprrandomstate(), 2u * (uint32_t)s);
        classicrand ref{(uint32_t)s};
        for (int i = 0; i < 200; i++)
            ASSERT_EQ(call0(rnd), ref.next() / 32768.0) << "seed " << s << " draw " << i;
    }
}

// Polar method in double arithmetic, written from the description.
struct polarref {
    classicrand r;
    bool pending = false;
    double cached = 0;
    double next()
    {
        if (pending) {
            pending = false;
            return cached;
        }
        for (;;) {
            double u = (r.next() - 16384) * 2 * std::ldexp(1.0, -15);
            double v = (r.next() - 16384) * 2 * std::ldexp(1.0, -15);
            double s = v * v + u * u;
            if (s >= 1 || s == 0)
                continue;
            double m = std::sqrt(std::log(s) * (-2 / s));
            cached = u * m;
            pending = true;
            return v * m;
        }
    }
};

TEST(runtime, nrndGivesPairsOfThePolarMethod)
{
    exprfunc nrnd = mustcompile("(x)\nnrnd");
    const int32_t seeds[] = {1, 99, 4242, -5};
    for (int32_t s : seeds) {
        exprseed(s);
        exprresetnormal();
        polarref ref{{(uint32_t)s}};
        randomrules rules;
        seedrules(rules, s);
        for (int i = 0; i < 400; i++) {
            double got = call0(nrnd);
            double want = ref.next();
            double other = (double)nrndrule(rules);
            ASSERT_NEAR(got, want, 1e-14 * std::fabs(want) + 1e-300) << "seed " << s << " call " << i;
            ASSERT_NEAR(got, other, 1e-14 * std::fabs(want) + 1e-300) << "seed " << s << " call " << i;
            EXPECT_EQ(exprnormalpending(), ref.pending);
        }
        // the draws of the pairs used exactly the state the reference used
        EXPECT_EQ(exprrandomstate(), 2u * ref.r.state);
    }
}

TEST(runtime, nrndSecondCallReturnsTheCachedValue)
{
    exprfunc nrnd = mustcompile("(x)\nnrnd");
    exprseed(7);
    exprresetnormal();
    double first = call0(nrnd);
    ASSERT_TRUE(exprnormalpending());
    double cached = exprnormalvalue();
    uint32_t state = exprrandomstate();
    double second = call0(nrnd);
    EXPECT_EQ(bitsof(second), bitsof(cached));
    EXPECT_EQ(exprrandomstate(), state);     // no draw for the second value
    EXPECT_FALSE(exprnormalpending());
    call0(nrnd);
    EXPECT_NE(exprrandomstate(), state);     // the third call draws again
    EXPECT_NE(first, second);
}

// RND and the routine behind NRND step one shared state.
TEST(runtime, rndAndNrndShareTheState)
{
    exprfunc both = mustcompile("(x)\na=rnd; b=nrnd; c=rnd; a*1000000+c+(b>100)");
    exprseed(3);
    exprresetnormal();
    classicrand ref{3};
    int a = ref.next();
    polarref p{ref};
    p.next();
    int c = p.r.next();
    EXPECT_EQ(call0(both), a / 32768.0 * 1000000 + c / 32768.0);
}

// Code that may draw, on any path, says so; code without RND or NRND does not.
TEST(runtime, codeSaysWhetherItDrawsRandomNumbers)
{
    struct row {
        const char *text;
        bool draws;
    } rows[] = {
        {"(x)\nx*2+1", false},
        {"(x)\nrnd", true},
        {"(x)\nIF (x > 0) y = nrnd; ELSE y = 1; y", true},
        {"(x)\nsin(x)+pow(x,3)", false},
    };
    for (const row &r : rows)
        EXPECT_EQ(exprdrawsrandom(mustcompile(r.text)), r.draws) << r.text;
}

// The rational Lanczos approximation itself is good to about 2e-10 (better
// than 1e-13 for small arguments); the routine computes its exponent at 53
// bits, the portable rule in long double, so they agree to about 1e-13.
TEST(runtime, factMatchesGamma)
{
    exprfunc fact = mustcompile("(x)\nfact(x)");
    const double xs[] = {0, 1, 4, 0.5, 2.5, 3.75, 10, 20, 50.5, 100, 150, 170, 170.6, -0.5, -0.25, -0.9, -0.999, 1e-9};
    for (double x : xs) {
        long double want = std::tgamma((long double)x + 1);
        double got = call1(fact, x);
        EXPECT_NEAR(got / (double)want, 1.0, x <= 5 ? 1e-13 : 2e-10) << "fact(" << x << ")";
        EXPECT_NEAR(got / (double)factrule(x), 1.0, 1e-13) << "fact(" << x << ") against the portable rule";
    }
    struct {
        double x, want;
    } exact[] = {{0, 1}, {1, 1}, {4, 24}, {0.5, 0.886226925452758}};
    for (auto &e : exact)
        EXPECT_NEAR(call1(fact, e.x), e.want, 1e-13 * e.want) << "fact(" << e.x << ")";
    const double inf = std::numeric_limits<double>::infinity();
    const double infinite[] = {-1, -1.5, -1000, 171, 170.6243769562768, 1e300, inf, -inf, std::nan("")};
    for (double x : infinite)
        EXPECT_EQ(call1(fact, x), inf) << "fact(" << x << ")";
}

TEST(runtime, powRules)
{
    exprfunc pow = mustcompile("(x,y)\npow(x,y)");
    const double inf = std::numeric_limits<double>::infinity();
    // exact cases: powers of two and the +0 and negative-base rules
    struct {
        double x, y, want;
    } rows[] = {
        {0, 2, 0},        {0, 0, 1},      {0, -1, inf},     {-2, 3, -8},   {-2, 2, 4},
        {2, 10, 1024},    {2, -2, 0.25},  {-2, -3, -0.125}, {1, 1e300, 1}, {-1, 1e300, 1},
        {-1, 1e19, 1},    {-1, 3, -1},    {-8, 2, 64},
    };
    for (auto &r : rows)
        EXPECT_EQ(call2(pow, r.x, r.y), r.want) << "pow(" << r.x << "," << r.y << ")";
    // a negative base with a fractional exponent gives the x87 default NaN
    uint64_t defaultnan = 0xFFF8000000000000ull;
    EXPECT_EQ(bitsof(call2(pow, -2, 0.5)), defaultnan);
    EXPECT_EQ(bitsof(call2(pow, -8, 1.0 / 3)), defaultnan);
    EXPECT_TRUE(std::isnan(call2(pow, 0, std::nan(""))));
    EXPECT_EQ(call2(pow, 0, -2), inf);
    // ordinary values against libm and the portable rule
    const double bases[] = {0.001, 0.5, 1.5, 2, 3, 10, 123.456, -1.5, -3};
    const double exps[] = {-7, -2.5, -1, 0.25, 1, 2, 3, 6.5, 20};
    for (double x : bases)
        for (double y : exps) {
            if (x < 0 && y != std::floor(y))
                continue;
            double got = call2(pow, x, y);
            long double want = std::pow((long double)x, (long double)y);
            EXPECT_NEAR(got / (double)want, 1.0, 2e-15) << "pow(" << x << "," << y << ")";
            EXPECT_NEAR(got / (double)powrule(x, y), 1.0, 4.5e-16) << "pow(" << x << "," << y << ")";
        }
}

TEST(exprcall, runsAt53BitsAndRestoresTheCallersWord)
{
    // (x + y) - x stays in st(0): 1 + 2^-60 survives at 64-bit precision only
    exprfunc f = mustcompile("(x,y)\n(x+y)-x");
    const uint16_t words[] = {0x037F, 0x027F, 0x0F7F, 0x077F, 0x0B7F};
    for (uint16_t w : words) {
        setx87controlword(w);
        double r = call2(f, 1.0, std::ldexp(1.0, -60));
        uint16_t after = x87controlword();
        setx87controlword(0x037F);
        EXPECT_EQ(r, 0.0) << std::hex << "caller's word " << w;
        EXPECT_EQ(after, w) << std::hex << "caller's word " << w;
    }
}

// A caller at 0x027F keeps its word without a load; the results are the
// same bits as from a caller at 0x037F, also inside a loop bracketed by
// exprcallsbegin and exprcallsend, and every caller finds its word again.
TEST(exprcall, sameBitsFromEitherWordAndTheWordComesBack)
{
    const char *texts[] = {
        "(x,y)\n(x*1.5 + y*2.5 + y/(abs(sin(y*.1))+1)*x + (x-y+1)*16)*0.75",
        "(x,y)\nfloor(x*y) + ceil(x/y) + exp(y/8) + pow(abs(x), 1/3) + fact(abs(y)/2)",
        "(x,y)\na=x/y;b=a*a-x;c=sqrt(abs(b))+tan(a);d=atan2(x,y);a+b+c+d+log(abs(x)+1,2)",
    };
    for (const char *t : texts) {
        exprfunc f = mustcompile(t);
        for (int i = 0; i < 200; i++) {
            double x = std::ldexp(double(i * 7919 % 1000) - 500, -(i % 5)), y = 0.37 + i * 0.91;
            setx87controlword(0x037F);
            double wide = call2(f, x, y);
            EXPECT_EQ(x87controlword(), 0x037F);
            setx87controlword(0x027F);
            double ours = call2(f, x, y);
            EXPECT_EQ(x87controlword(), 0x027F);
            setx87controlword(0x037F);
            uint16_t saved = exprcallsbegin();
            EXPECT_EQ(x87controlword(), 0x027F);
            double looped = call2(f, x, y);
            exprcallsend(saved);
            EXPECT_EQ(saved, 0x037F);
            EXPECT_EQ(x87controlword(), 0x037F);
            ASSERT_EQ(bitsof(wide), bitsof(ours)) << t << " at " << x << ", " << y;
            ASSERT_EQ(bitsof(wide), bitsof(looped)) << t << " at " << x << ", " << y;
        }
    }
}

TEST(exprcall, passesManyArgumentsInOrder)
{
    std::string header = "(", body;
    double args[40];
    for (int i = 0; i < 40; i++) {
        header += (i ? ",p" : "p") + std::to_string(i);
        body += (i ? "+p" : "p") + std::to_string(i) + "*" + std::to_string(i + 1);
        args[i] = 1.0 / (i + 3);
    }
    std::string text = header + ")\n" + body;
    exprfunc f = mustcompile(text.c_str());
    long double want = 0;
    for (int i = 0; i < 40; i++)
        want += (long double)args[i] * (i + 1);
    EXPECT_NEAR(exprcall(f, args, 40), (double)want, 1e-13);
    exprfunc last = mustcompile((header + ")\np39").c_str());
    EXPECT_EQ(exprcall(last, args, 40), args[39]);
}

void freex87()
{
    asm volatile("ffree %st(0)\n\tffree %st(1)\n\tffree %st(2)\n\tffree %st(3)\n\t"
                 "ffree %st(4)\n\tffree %st(5)\n\tffree %st(6)\n\tffree %st(7)");
}

// The compiled code itself leaves the x87 stack empty (checked through a
// call without the calling layer's final FFREEs), also with all four
// register homes and spill slots in use; repeated calls agree.
TEST(exprcall, codeLeavesTheX87StackEmpty)
{
    const char *texts[] = {
        "(x)\nx",
        "(x)\na=sin(x);abs(a)+a",
        "(x)\na=x*x;b=sin(x);c=cos(x);d=sqrt(x);a+b+c+d",
        "(x)\na=x*x;b=sin(x);c=cos(x);d=sqrt(x);e=atan(x);f=exp(x);a+b+c+d+e+f",
        "(x)\ny=0;if (x>0) y=x; y",
        "(x)\na=0; for (i=0; i<10; i+=1) { b=i*x; c=b%3; a+=c; } a",
        "(x)\nq=fact(x)+pow(x,2.5)+(nrnd>100)+(rnd>2); q",
        "(x)\nmin(x,2)+max(x,3)+fmod(x,0.7)+atan2(x,2)+log(x,3)+acos(x/10)+asin(x/10)+tan(x)",
    };
    for (const char *t : texts) {
        exprfunc f = mustcompile(t);
        double x = 2.0;
        double first = rawcall(f, &x, 1);
        uint16_t tags = x87tagword();
        freex87();
        EXPECT_EQ(tags, 0xFFFF) << t;
        for (int i = 0; i < 12; i++)
            ASSERT_EQ(bitsof(call1(f, 2.0)), bitsof(first)) << t << " call " << i;
        EXPECT_EQ(x87tagword(), 0xFFFF) << t;
    }
}

// FPTAN leaves arguments beyond 2^63 unreduced, sets C2 and pushes nothing;
// TAN then gives the argument back unchanged (as FSIN and FCOS do) and the
// register homes stay where they are, so loops around it still end.
TEST(exprcall, tanBeyondTwoTo63KeepsTheStackBalanced)
{
    exprfunc tan = mustcompile("(x)\ntan(x)");
    exprfunc sin = mustcompile("(x)\nsin(x)");
    exprfunc mix = mustcompile("(x)\na=sin(x); b=tan(x*x); c=cos(x); a+b+c");
    exprfunc loop = mustcompile("(a,b,c)\ns=floor(a/a); k=0; do { a=tan(s); k+=1; } while (k<2); k");
    const double huge[] = {1e20, -3e30, 1e300, 9223372036854775808.0};
    // qemu-i386 still reduces an argument of exactly 2^63; the processor does not
    bool emulated = std::getenv("VOXEL_X87_EMULATOR") != nullptr;
    for (double x : huge) {
        if (!emulated || std::fabs(x) != 9223372036854775808.0) {
            EXPECT_EQ(call1(tan, x), call1(sin, x)) << x;
            EXPECT_EQ(call1(tan, x), x) << x;
        }
        double t = rawcall(mix, &x, 1);
        uint16_t tags = x87tagword();
        freex87();
        EXPECT_EQ(tags, 0xFFFF) << x;
        EXPECT_EQ(t, call1(mix, x)) << x;
    }
    double args[3] = {0, 0, 0};      // floor(NaN) = -2^63: TAN beyond the range
    EXPECT_EQ(exprcall(loop, args, 3), 2.0);
    EXPECT_NEAR(call1(tan, 0.5), std::tan(0.5), 1e-15);
    // below 2^63 FPTAN reduces the argument (with the x87's own pi): a tangent, not x
    double t = call1(tan, -1e18);
    EXPECT_TRUE(std::isfinite(t) && std::fabs(t) < 1e6) << t;
}

} // namespace

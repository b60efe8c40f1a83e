// One fixed table of expressions evaluated through the native flavour: the
// 64-bit build runs the x64 bytes, the 32-bit build (under qemu-i386) the
// ia32 bytes. Exact operations must equal double arithmetic bit for bit in
// both builds (each x87 operation runs at 53-bit precision, so for values
// whose intermediates stay within double range it rounds as double
// arithmetic does; FLOOR and CEIL go through a 64-bit integer); transcendental
// instructions are held to libm's long double functions within the
// tolerances below (relative, absolute below magnitude 1), which also cover
// the emulator's x87 instructions. scripts/test-m32.sh also compares the two
// builds' recorded results with each other (VOXEL_CROSSVALUES=file).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codegen.h"
#include "compiler.h"
#include "mathrules.h"

namespace {

uint64_t bitsof(double d)
{
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}

double runmod(double a, double b)
{
    double r = std::fmod(a, b);
    return r < 0 ? r + std::fabs(b) : r;
}

// CEIL is -FLOOR(-x), and FLOOR goes through a 64-bit integer (so 0 comes
// back as +0 and CEIL(0) as -0).
double floorref(double x) { return (double)floorrule(x); }
double ceilref(double x) { return -(double)floorrule(-x); }

double sgnref(double x) { return x < 0 ? -1 : x == 0 ? 0 : 1; }
double unitref(double x) { return x < 0 ? 0 : x == 0 ? 0.5 : 1; }

struct exactrow {
    const char *body;                  // behind the header (x,y)
    double (*ref)(double x, double y);
    bool (*valid)(double x, double y);
};

bool always(double, double) { return true; }
bool nonneg(double x, double) { return x >= 0; }
bool nonzeroy(double, double y) { return y != 0; }

const exactrow exactrows[] = {
    {"x+y", [](double x, double y) { return x + y; }, always},
    {"x-y", [](double x, double y) { return x - y; }, always},
    {"x*y", [](double x, double y) { return x * y; }, always},
    {"x/y", [](double x, double y) { return x / y; }, nonzeroy},
    {"(x+y)*(x-y)/y", [](double x, double y) { return (x + y) * (x - y) / y; }, nonzeroy},
    {"a=x*y; b=a-x; c=b*b+y; c/a", [](double x, double y) { double a = x * y, b = a - x; return (b * b + y) / a; },
     [](double x, double y) { return x * y != 0; }},
    {"y-x*y", [](double x, double y) { return y - x * y; }, always},
    {"y/(x+y)", [](double x, double y) { return y / (x + y); }, [](double x, double y) { return x + y != 0; }},
    {"x%y", runmod, nonzeroy},
    {"fmod(x,y)", [](double x, double y) { return std::fmod(x, y); }, nonzeroy},
    {"floor(x)", [](double x, double) { return floorref(x); }, always},
    {"ceil(x*y)", [](double x, double y) { return ceilref(x * y); }, always},
    {"int(y)", [](double, double y) { return floorref(y); }, always},
    {"abs(x)+abs(y)", [](double x, double y) { return std::fabs(x) + std::fabs(y); }, always},
    {"sgn(x)*10+sgn(y)", [](double x, double y) { return sgnref(x) * 10 + sgnref(y); }, always},
    {"unit(x)*10+unit(y)", [](double x, double y) { return unitref(x) * 10 + unitref(y); }, always},
    {"sqrt(x)", [](double x, double) { return std::sqrt(x); }, nonneg},
    {"x<y", [](double x, double y) { return (double)(x < y); }, always},
    {"x<=y", [](double x, double y) { return (double)(x <= y); }, always},
    {"x>y", [](double x, double y) { return (double)(x > y); }, always},
    {"x>=y", [](double x, double y) { return (double)(x >= y); }, always},
    {"x==y", [](double x, double y) { return (double)(x == y); }, always},
    {"x!=y", [](double x, double y) { return (double)(x != y); }, always},
    {"x&&y", [](double x, double y) { return (double)(x != 0 && y != 0); }, always},
    {"x||y", [](double x, double y) { return (double)(x != 0 || y != 0); }, always},
    {"x!=0", [](double x, double) { return (double)(x != 0); }, always},
    {"min(x,y)", [](double x, double y) { return x > y ? y : x; }, always},
    {"max(x,y)", [](double x, double y) { return x > y ? x : y; }, always},
    {"-x", [](double x, double) { return -x; }, always},
};

const double pairs[][2] = {
    {1.5, 0.25}, {-7, 3},    {1e10, -3.5}, {0.1, 0.7},         {0, 2},
    {-2.5, -2.5}, {123.456, -0.001}, {3, 0}, {-1e-300, 1e150}, {0.3, -0.1},
};

// Transcendental x87 instructions: relative tolerance against long double libm.
struct approxrow {
    const char *body;
    long double (*ref)(long double x, long double y);
    bool (*valid)(double x, double y);
    double tolerance;
};

bool unitrange(double x, double) { return std::fabs(x) <= 1; }
bool positive(double x, double) { return x > 0; }
bool bothpositive(double x, double y) { return x > 0 && y > 0 && y != 1; }

const approxrow approxrows[] = {
    {"sin(x)", [](long double x, long double) { return sinl(x); }, always, 2e-15},
    {"cos(x)", [](long double x, long double) { return cosl(x); }, always, 2e-15},
    {"tan(x)", [](long double x, long double) { return tanl(x); }, always, 2e-15},
    {"atan(x)", [](long double x, long double) { return atanl(x); }, always, 2e-15},
    {"asin(x)", [](long double x, long double) { return asinl(x); }, unitrange, 2e-15},
    {"acos(x)", [](long double x, long double) { return acosl(x); }, unitrange, 2e-15},
    {"atan2(x,y)", [](long double x, long double y) { return atan2l(x, y); }, always, 2e-15},
    {"exp(x)", [](long double x, long double) { return expl(x); }, always, 4e-15},
    {"log(x)", [](long double x, long double) { return logl(x); }, positive, 2e-15},
    {"log(x,y)", [](long double x, long double y) { return logl(x) / logl(y); }, bothpositive, 4e-15},
    {"pow(x,y)", [](long double x, long double y) { return powl(x, y); }, positive, 4e-15},
    {"fact(x)", [](long double x, long double) { return factrule(x); }, always, 1e-13},
    {"sin(x)*cos(y)+exp(-x*x)", [](long double x, long double y) { return sinl(x) * cosl(y) + expl(-x * x); }, always,
     4e-15},
};

const double approxargs[][2] = {
    {0.5, 1.3}, {-0.3, 0.75}, {2.7, 2}, {1e-3, 10}, {0.999, -0.5}, {7.25, 3.5}, {-5.5, 0.2},
};

// Results of this build, one line per case: "%s|%g|%g %a".
FILE *openrecord()
{
    const char *path = std::getenv("VOXEL_CROSSVALUES");
    return path && *path ? std::fopen(path, "w") : nullptr;
}

double evaluate(const char *body, double x, double y)
{
    std::string text = std::string("(x,y)\n") + body;
    exprfunc f = compileexpr(text.c_str());
    EXPECT_NE(f, nullptr) << body << ": " << compileerror();
    if (!f)
        return 0;
    double args[2] = {x, y};
    return exprcall(f, args, 2);
}

TEST(crossvalues, exactOperationsMatchDoubleArithmeticBitForBit)
{
    FILE *rec = openrecord();
    for (const exactrow &r : exactrows)
        for (const auto &p : pairs) {
            if (!r.valid(p[0], p[1]))
                continue;
            double got = evaluate(r.body, p[0], p[1]);
            double want = r.ref(p[0], p[1]);
            EXPECT_EQ(bitsof(got), bitsof(want)) << r.body << " at x=" << p[0] << " y=" << p[1] << ": " << got
                                                 << " vs " << want;
            if (rec)
                std::fprintf(rec, "exact %s|%a|%a %a\n", r.body, p[0], p[1], got);
        }
    if (rec)
        std::fclose(rec);
}

TEST(crossvalues, transcendentalOperationsWithinTolerance)
{
    const char *path = std::getenv("VOXEL_CROSSVALUES");
    FILE *rec = path && *path ? std::fopen((std::string(path) + ".approx").c_str(), "w") : nullptr;
    for (const approxrow &r : approxrows)
        for (const auto &p : approxargs) {
            if (!r.valid(p[0], p[1]))
                continue;
            double got = evaluate(r.body, p[0], p[1]);
            long double want = r.ref(p[0], p[1]);
            double scale = std::fabs((double)want) > 1 ? std::fabs((double)want) : 1;
            if (std::isinf((double)want))
                EXPECT_EQ(got, (double)want) << r.body << " at x=" << p[0] << " y=" << p[1];
            else
                EXPECT_NEAR(got, (double)want, r.tolerance * scale) << r.body << " at x=" << p[0] << " y=" << p[1];
            if (rec)
                std::fprintf(rec, "approx %g %s|%a|%a %a\n", r.tolerance, r.body, p[0], p[1], got);
        }
    if (rec)
        std::fclose(rec);
}

// NaN operands follow the x87 flags: "<", "<=" and "==" give 1.
TEST(crossvalues, comparisonsWithNaN)
{
    const double nan = std::nan("");
    struct {
        const char *body;
        double want;
    } rows[] = {{"x<y", 1}, {"x<=y", 1}, {"x==y", 1}, {"x>y", 0}, {"x>=y", 0}, {"x!=y", 0}};
    for (auto &r : rows) {
        EXPECT_EQ(evaluate(r.body, nan, 1), r.want) << r.body;
        EXPECT_EQ(evaluate(r.body, 1, nan), r.want) << r.body;
    }
}

// Negative zero: the memory forms test all 64 bits (true), the register
// forms test with ftst (false).
TEST(crossvalues, negativeZeroInBothForms)
{
    EXPECT_EQ(evaluate("x!=0", -0.0, 0), 1.0);
    EXPECT_EQ(evaluate("(x*1.5)!=0", -0.0, 0), 0.0);
    EXPECT_EQ(evaluate("x!=0", 0.0, 0), 0.0);
    EXPECT_EQ(evaluate("x&&y", -0.0, 1), 1.0);
    EXPECT_EQ(evaluate("x||y", -0.0, 0), 1.0);
    EXPECT_EQ(evaluate("sin(x)&&y", -0.0, 1), 0.0);
    EXPECT_EQ(evaluate("sin(x)||y", -0.0, 0), 0.0);
}

TEST(crossvalues, randomSequenceIsTheSame)
{
    exprseed(5);
    exprresetnormal();
    randomrules rules;
    seedrules(rules, 5);
    exprfunc rnd = compileexpr("(x,y)\nrnd");
    exprfunc nrnd = compileexpr("(x,y)\nnrnd");
    ASSERT_TRUE(rnd && nrnd);
    double args[2] = {0, 0};
    for (int i = 0; i < 50; i++) {
        EXPECT_EQ(exprcall(rnd, args, 2), (double)rndrule(rules));
        EXPECT_NEAR(exprcall(nrnd, args, 2), (double)nrndrule(rules), 1e-14);
    }
}

} // namespace

// Nanoseconds per call of the designer's default expression over 2^21
// different argument vectors: through exprcall in a loop that sets the x87
// control word once (as the map writer and the preview call it), through
// exprcall from a caller at the C++ default word 0x037F (each call switches
// and restores it), the hand-written x87 floor, natively compiled by g++, and
// through muparser. Each variant runs `rounds` times, interleaved; the report
// gives medians of the thread's CPU time per call and the ratios of the
// looped exprcall to the others.
//   compilerbench [rounds]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "compiler.h"

#ifdef HAVE_MUPARSER
#include <muParser.h>
#endif

double nativeexpr(const double *a);
extern "C" double floorexpr(const double *args);

namespace {

const char *header = "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n";
const char *body = "(d1*c1 + d2*c2 + d3/(abs(sin(d3*.1))+1)*c3 + (c4+fn+1)*16)*sc";
constexpr size_t vectors = size_t(1) << 21;

// Argument vectors as the texture evaluation would pass them.
std::vector<double> makevectors()
{
    std::vector<double> v(vectors * 12);
    uint32_t s = 12345;
    auto next = [&s](double lo, double hi) {
        s = s * 1664525u + 1013904223u;
        return lo + (hi - lo) * (s >> 8) / 16777216.0;
    };
    for (size_t i = 0; i < vectors; i++) {
        double *a = &v[i * 12];
        for (int k = 0; k < 3; k++)
            a[k] = std::floor(next(0, 1024));
        for (int k = 3; k < 6; k++)
            a[k] = next(0, 50);
        for (int k = 6; k < 10; k++)
            a[k] = next(-2, 2);
        a[10] = next(-3, 3);
        a[11] = next(0.5, 2);
    }
    return v;
}

struct variant {
    const char *name;
    std::vector<double> ns;   // per call, one entry per round
    double sum;               // of all results, so nothing is optimised away
};

// CPU time of this thread: the machine is shared, wall time would count
// the other processes too.
double cpunanoseconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e9 + t.tv_nsec;
}

// One pass over all vectors; `once` sets the control word 0x027F around
// the loop, otherwise the loop runs at the caller's word.
template <class F>
double timeloop(const std::vector<double> &v, bool once, F call, double &sum)
{
    double t0 = cpunanoseconds();
    uint16_t saved = once ? exprcallsbegin() : 0;
    double s = 0;
    for (size_t i = 0; i < vectors; i++)
        s += call(&v[i * 12]);
    if (once)
        exprcallsend(saved);
    double t1 = cpunanoseconds();
    sum = s;
    return (t1 - t0) / vectors;
}

double median(std::vector<double> x)
{
    std::sort(x.begin(), x.end());
    size_t n = x.size();
    return n % 2 ? x[n / 2] : (x[n / 2 - 1] + x[n / 2]) / 2;
}

} // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? std::atoi(argv[1]) : 11;
    if (rounds < 1 || rounds > 1000) {
        std::fprintf(stderr, "usage: compilerbench [rounds 1..1000]\n");
        return 2;
    }
    std::string text = std::string(header) + body;
    exprfunc f = compileexpr(text.c_str());
    if (!f) {
        std::fprintf(stderr, "compilerbench: %s\n", compileerror());
        return 1;
    }
    std::vector<double> v = makevectors();

#ifdef HAVE_MUPARSER
    double bound[12];
    mu::Parser parser;
    const char *names[12] = {"vx", "vy", "vz", "d1", "d2", "d3", "c1", "c2", "c3", "c4", "fn", "sc"};
    for (int k = 0; k < 12; k++)
        parser.DefineVar(names[k], &bound[k]);
    parser.SetExpr("(d1*c1 + d2*c2 + d3/(abs(sin(d3*0.1))+1)*c3 + (c4+fn+1)*16)*sc");
#endif

    enum { looped, single, floor, native, muparser };
    std::vector<variant> vars = {{"exprcall, word set once around the loop", {}, 0},
                                 {"exprcall, caller at 0x037F", {}, 0},
                                 {"floor: hand-written x87 with fsin", {}, 0},
                                 {"g++ -O2", {}, 0}};
#ifdef HAVE_MUPARSER
    vars.push_back({"muparser", {}, 0});
#endif
    auto compiled = [f](const double *a) { return exprcall(f, a, 12); };
    for (int r = 0; r < rounds; r++) {
        vars[looped].ns.push_back(timeloop(v, true, compiled, vars[looped].sum));
        vars[single].ns.push_back(timeloop(v, false, compiled, vars[single].sum));
        vars[floor].ns.push_back(timeloop(v, true, [](const double *a) { return floorexpr(a); }, vars[floor].sum));
        vars[native].ns.push_back(timeloop(v, false, [](const double *a) { return nativeexpr(a); }, vars[native].sum));
#ifdef HAVE_MUPARSER
        vars[muparser].ns.push_back(timeloop(v, false, [&](const double *a) {
            std::copy(a, a + 12, bound);
            return parser.Eval();
        }, vars[muparser].sum));
#endif
    }
    std::printf("%zu argument vectors, %d rounds, median ns per call (thread CPU time)\n", vectors, rounds);
    std::printf("%-40s %9s %9s %22s\n", "variant", "median", "min", "sum of results");
    for (const variant &x : vars)
        std::printf("%-40s %9.2f %9.2f %22.10g\n", x.name, median(x.ns), *std::min_element(x.ns.begin(), x.ns.end()),
                    x.sum);
    double ours = median(vars[looped].ns);
    std::printf("ratios of the looped exprcall: /floor %.3f", ours / median(vars[floor].ns));
    if (vars.size() > muparser)
        std::printf("  /muparser %.3f", ours / median(vars[muparser].ns));
    std::printf("  /g++ %.3f\n", ours / median(vars[native].ns));
    return 0;
}

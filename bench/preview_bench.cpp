// Preview stage timings with the designer's start-up texture (the default
// expression): milliseconds per call, median of several runs.
//   preview_bench [RUNS]
#include "compiler.h"
#include "designer.h"
#include "noise.h"
#include "preview.h"
#include "texscript.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

double threadmilliseconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

// Wall-clock and processor milliseconds of one call; on a busy machine the
// second says more about the code.
struct timing {
    double wall, cpu;
};

timing timeof(void (*stage)())
{
    auto start = std::chrono::steady_clock::now();
    double cpustart = threadmilliseconds();
    stage();
    double cpu = threadmilliseconds() - cpustart;
    std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    return {took.count(), cpu};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct benchstage {
    const char *name;
    void (*run)();
};

const benchstage stages[] = {
    {"colour stage (renderpreview 0, 0)", [] { renderpreview(0, 0); }},
    {"relight: lighting and colour (renderpreview 0, 1)", [] { renderpreview(0, 1); }},
    {"full rebuild (renderpreview 1, 1)", [] { renderpreview(1, 1); }},
    {"  lighting stage alone", [] { lightpreview(texscripts.script.lightangle); }},
    {"  grids and height map alone", [] { rebuildpreview(); }},
    {"  colour stage, built-in formula", [] {
         exprfunc f = texscripts.func;
         texscripts.func = nullptr;
         colourpreview();
         texscripts.func = f;
     }},
};

} // namespace

int main(int argc, char **argv)
{
    int runs = argc > 1 ? std::atoi(argv[1]) : 15;
    if (runs < 1 || runs > 10000) {
        std::fprintf(stderr, "usage: preview_bench [RUNS 1..10000]\n");
        return 2;
    }
    startdesigner();
    renderpreview(1, 1);
    std::printf("milliseconds per call, %d runs\n", runs);
    std::printf("%-52s %12s %9s %12s\n", "stage", "wall median", "wall min", "cpu median");
    for (const benchstage &s : stages) {
        std::vector<double> wall, cpu;
        for (int i = 0; i < runs; i++) {
            timing t = timeof(s.run);
            wall.push_back(t.wall);
            cpu.push_back(t.cpu);
        }
        std::printf("%-52s %12.2f %9.2f %12.2f\n", s.name, median(wall), *std::min_element(wall.begin(), wall.end()),
                    median(cpu));
    }
    return 0;
}

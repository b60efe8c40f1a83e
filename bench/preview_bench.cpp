// Preview stage timings with the designer's start-up texture (the default
// expression): milliseconds per call, median of several runs.
//   preview_bench [RUNS]
#include "compiler.h"
#include "noise.h"
#include "preview.h"
#include "texscript.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double millisecondsof(void (*stage)())
{
    auto start = std::chrono::steady_clock::now();
    stage();
    std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    return took.count();
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
    setexprdialect(dialectpelmora);
    makedefaults();
    initnoise(noisedesigner);
    renderpreview(1, 1);
    std::printf("%-52s %9s %9s %9s\n", "stage", "median", "min", "max");
    for (const benchstage &s : stages) {
        std::vector<double> ms;
        for (int i = 0; i < runs; i++)
            ms.push_back(millisecondsof(s.run));
        std::sort(ms.begin(), ms.end());
        std::printf("%-52s %9.2f %9.2f %9.2f\n", s.name, ms[ms.size() / 2], ms.front(), ms.back());
    }
    return 0;
}

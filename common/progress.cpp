#include "progress.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

static double seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void startprogress(progress *p, const std::string &label, long total)
{
    p->label = label;
    p->started = seconds();
    p->done = 0;
    p->total = total;
    p->shown = -1;
    p->drawn = isatty(STDERR_FILENO);
}

void showprogress(progress *p, long done, long total)
{
    int percent = total > 0 ? int(100 * done / total) : 100;
    // threads may report out of order: the figure only grows
    if (!p->drawn || percent <= p->shown || seconds() - p->started < 0.5)
        return;
    p->shown = percent;
    std::fprintf(stderr, "\r%s: %3d %%", p->label.c_str(), percent);
    std::fflush(stderr);
}

void stepprogress(progress *p)
{
    if (!p->drawn)
        return;
    std::lock_guard<std::mutex> hold(p->lock);
    showprogress(p, ++p->done, p->total);
}

void endprogress(progress *p)
{
    if (p->shown >= 0)
        std::fprintf(stderr, "\r%s: 100 %% (%.1f s)\n", p->label.c_str(), seconds() - p->started);
}

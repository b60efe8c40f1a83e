// Frames per second of the designer screen (doframe) on the headless
// platform, which presents nothing and never waits:
//   idle             nothing happens
//   slider drag      a weight slider held with the left button and moved
//                    every frame (the colour stage runs every frame)
//   shape change     the frame that releases the shape slider (the full
//                    rebuild), as milliseconds per change
// Medians of several runs; beside the wall clock the processor time of all
// threads per frame, which says more on a busy machine. THREADS sets the
// colour stage's threads (0, the default: as many as the machine has).
//   frame_bench [RUNS [THREADS]]
#include "headless.h"
#include "input.h"
#include "preview.h"
#include "screen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

using clocktype = std::chrono::steady_clock;

double secondssince(clocktype::time_point start)
{
    return std::chrono::duration<double>(clocktype::now() - start).count();
}

double processseconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Wall seconds and processor seconds of a stretch of frames.
struct stretch {
    clocktype::time_point wall = clocktype::now();
    double cpu = processseconds();
};

struct result {
    double wall, cpu;       // seconds per frame
};

result endof(const stretch &s, int frames)
{
    return {secondssince(s.wall) / frames, (processseconds() - s.cpu) / frames};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

constexpr int framesperrun = 120;

result idle()
{
    headlessstart();
    headlessframes(10);
    stretch s;
    headlessframes(framesperrun);
    return endof(s, framesperrun);
}

result drag()
{
    headlessstart();
    moveto(28, 420);
    headlessframe();
    setbutton(0, true);
    headlessframe();
    stretch s;
    for (int i = 0; i < framesperrun; i++) {
        movemouse(0, i % 2 ? 1 : -1);
        headlessframe();
    }
    return endof(s, framesperrun);
}

// The frame in which the shape slider is let go.
result shapechange()
{
    headlessstart();
    moveto(548, 420);
    headlessframe();
    setbutton(0, true);
    headlessframe();
    movemouse(0, 8);
    headlessframe();
    setbutton(0, false);
    stretch s;
    headlessframe();
    return endof(s, 1);
}

} // namespace

int main(int argc, char **argv)
{
    int runs = argc > 1 ? std::atoi(argv[1]) : 9;
    int threads = argc > 2 ? std::atoi(argv[2]) : 0;
    if (runs < 1 || runs > 1000 || threads < 0 || threads > 4) {
        std::fprintf(stderr, "usage: frame_bench [RUNS 1..1000 [THREADS 0..4]]\n");
        return 2;
    }
    setcolourthreads(threads);
    const struct {
        const char *name;
        result (*run)();
        bool perframe;          // frames per second; else milliseconds
    } cases[] = {
        {"idle", idle, true},
        {"weight slider, left drag", drag, true},
        {"shape change (rebuild frame)", shapechange, false},
    };
    std::printf("doframe on the headless platform, medians of %d runs (%d frames each), colour threads %d\n", runs,
                framesperrun, threads);
    std::printf("%-32s %14s %18s\n", "", "wall", "cpu ms per frame");
    for (const auto &c : cases) {
        std::vector<double> wall, cpu;
        for (int r = 0; r < runs; r++) {
            result t = c.run();
            wall.push_back(t.wall);
            cpu.push_back(t.cpu * 1000.0);
        }
        double w = median(wall);
        if (c.perframe)
            std::printf("%-32s %8.1f fps %18.2f\n", c.name, 1.0 / w, median(cpu));
        else
            std::printf("%-32s %9.1f ms %18.2f\n", c.name, w * 1000.0, median(cpu));
    }
    return 0;
}

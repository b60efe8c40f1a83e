// The run of vrastik: command line, stages in order, time and result.
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "generator.h"
#include "noise.h"
#include "random.h"
#include "runlog.h"
#include "workers.h"

generatorstate gen;

void resetgenerator()
{
    freegrid(gen.grid0);
    freegrid(gen.grid2);
    std::free(gen.cellclass);
    std::memset(&gen, 0, sizeof gen);
    genrandom.state = 1;
    // The random sources a new process starts with: the noise table's and RND's.
    resetlibraryrand();
    exprseed(1);
    exprresetnormal();
}

namespace {

const int exitsuccess = 1234;
const int exitfailure = -1;
const char mapfilename[] = "mundra.gmv";

const char usagetext[] =
    "\n"
    "\n"
    "Vrastik by Yorvath '2003-09-06\n"
    "usage:\n"
    "  vrastik (seed) (number_of_rocks) (ground_position) (.tx files ...)\n"
    "options:\n"
    "  (seed) = cave generator seed\n"
    "           first 4bits of seed have special meaning:\n"
    "           0 or 8 = random blocky terrain (fixed rock count)\n"
    "           1 or 9 = random blocky cave    (fixed rock count)\n"
    "           2 = random round terrain\n"
    "           3 = random round cave\n"
    "           4 = random cellular terrain (fixed rock count)\n"
    "           5 = random cellular cave    (fixed rock count)\n"
    "           6 = random miscellaneous terrain\n"
    "           7 = random miscellaneous cave\n"
    "          10 = random voronoi terrain\n"
    "          11 = random voronoi cave\n"
    "          12 = random concave terrain\n"
    "          13 = random concave cave\n"
    "          14 = random very concave terrain\n"
    "          15 = random very concave cave\n"
    "  (number_of_rocks) = more rocks means smaller rocks, max=32768\n"
    "  (ground_position) = 0=everything is ground, 255=nothing underground\n"
    "  (.tx files ...)\n"
    "       1 texture = whole cave is same texture\n"
    "      >1 texture = 1st=ground, other randomly assigned to rocks\n";

// Like atoi: leading blanks, an optional sign, digits; no digits gives 0.
// Values beyond the 32-bit range are held at its ends.
int32_t parseint(const char *s)
{
    while (*s == ' ' || (*s >= '\t' && *s <= '\r'))
        s++;
    bool negative = *s == '-';
    if (*s == '-' || *s == '+')
        s++;
    long long v = 0;
    for (; *s >= '0' && *s <= '9'; s++)
        if (v <= LLONG_MAX / 100)
            v = v * 10 + (*s - '0');
    if (negative)
        v = -v;
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return int32_t(v);
}

// The words of the command line joined by single blanks, cut to fit the buffer.
void joincommandline(int argc, char **argv, char *out, size_t size)
{
    size_t n = 0;
    out[0] = 0;
    for (int i = 0; i < argc && n + 1 < size; i++) {
        int w = std::snprintf(out + n, size - n, i ? " %s" : "%s", argv[i]);
        if (w < 0)
            break;
        n += size_t(w);
    }
}

bool usesrockcount(int32_t seed)
{
    switch (seed & 14) {
    case 0: case 4: case 8: return false;
    default: return true;
    }
}

// Arguments the fixed tables cannot hold are refused before anything runs.
bool checkarguments(int32_t seed, int32_t rockcount, int texturepaths)
{
    if (usesrockcount(seed) && (rockcount < 1 || rockcount > maxrocks)) {
        logmessage("...error: number_of_rocks must be 1..%i for cave kind %i, not %i\n", maxrocks,
                   seed & 15, rockcount);
        return false;
    }
    if (texturepaths > maxtextures) {
        logmessage("...error: at most %i texture files, not %i\n", maxtextures, texturepaths);
        return false;
    }
    return true;
}

// The first air rock from the end of the table (rock 0 counts last).
void startposition(int &x, int &y, int &z)
{
    int chosen = 0;
    for (int n = gen.rockcount - 1; n >= 1; n--)
        if (gen.rocks[n].material == -1) {
            chosen = n;
            break;
        }
    x = int(gen.rocks[chosen].x);
    y = int(gen.rocks[chosen].y);
    z = int(gen.rocks[chosen].z);
}

// A compile failure of loadgentexture reports the script's path.
void genlogline(const char *line)
{
    logmessage("%s", line);
}

// The noise table first, then every script in command-line order; the first
// that does not load stops the run, with the reason on the line after.
bool loadtextures(char **paths, int count)
{
    std::printf("Loading textures...\n");
    initnoise(noisegenerator);
    texscripts.genlog = genlogline;
    gen.texturecount = 0;
    for (int i = 0; i < count; i++) {
        std::printf("  %s ", paths[i]);
        if (!loadgentexture(paths[i], gen.slots[gen.texturecount])) {
            logmessage("...error loading texture %s!\n", paths[i]);
            logmessage("...%s\n", texscripts.why);
            return false;
        }
        std::printf("ok\n");
        gen.texturecount++;
    }
    return true;
}

// Threads of the run: VRASTIK_THREADS when it is a whole number 1..1024,
// else every hardware thread. A value that is not a thread count is named on
// the error stream (the console output stays that of the run).
int runthreads()
{
    const char *v = std::getenv("VRASTIK_THREADS");
    if (!v)
        return hardwarethreads();
    char *end = nullptr;
    errno = 0;
    long n = std::strtol(v, &end, 10);
    if (end != v && *end == 0 && errno == 0 && n >= 1 && n <= 1024)
        return int(n);
    std::fprintf(stderr, "vrastik: VRASTIK_THREADS=%s is not a thread count 1..1024; using %d\n", v,
                 hardwarethreads());
    return hardwarethreads();
}

// For as long as a run goes on, a signal that ends it says so in the log.
struct signallogging {
    explicit signallogging(const char *mapname) { logsignals(mapname); }
    ~signallogging() { logsignals(nullptr); }
};

unsigned elapsedms(std::chrono::steady_clock::time_point start)
{
    auto d = std::chrono::steady_clock::now() - start;
    return unsigned(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

} // namespace

bool makemap(const char *filename, int startx, int starty, int startz)
{
    const writeoutcome out = writemap(filename, startx, starty, startz);
    switch (out.status) {
    case writeok:
        return true;
    case writefatal:                // after the progress bar as it stands
        logmessage("%s", out.text);
        return false;
    case writefailed:               // the progress bar's line ends first
        std::printf("\n");
        [[fallthrough]];
    case writenotstarted:
        logmessage("...error writing %s: %s\n", filename, out.text);
        return false;
    }
    return false;
}

int runvrastik(int argc, char **argv)
{
    if (argc < 4) {
        std::printf("%s", usagetext);
        return exitfailure;
    }
    setexprdialect(dialectvrastik);
    joincommandline(argc, argv, runlog.message, messagesize);
    logline(runlog.message);
    signallogging logging(mapfilename);
    const auto start = std::chrono::steady_clock::now();

    int32_t ground = parseint(argv[3]);
    gen.groundposition = ground > 255 ? 255 : ground < 0 ? 0 : ground;
    const int texturepaths = argc - 4;
    const int32_t rockcount = parseint(argv[2]);
    const int32_t seed = parseint(argv[1]);
    if (!checkarguments(seed, rockcount, texturepaths))
        return exitfailure;

    if (texturepaths > 0 && !loadtextures(argv + 4, texturepaths))
        return exitfailure;

    gen.seed = seed;
    gen.threads = runthreads();
    placerocks(rockcount, regioncentres, seed);
    if (!gridstage())
        return exitfailure;
    std::printf("Air = %i\nSolid = %i\n", gen.aircount, gen.solidcount);

    int sx, sy, sz;
    startposition(sx, sy, sz);
    if (!makemap(mapfilename, sx, sy, sz))
        return exitfailure;

    unsigned ms = elapsedms(start);
    std::snprintf(runlog.message, messagesize, "Time = %i:%02i", int(ms / 1000 / 60), int(ms / 1000 % 60));
    std::printf("\n%s\n", runlog.message);
    std::strncat(runlog.message, ". Success!", messagesize - std::strlen(runlog.message) - 1);
    logline(runlog.message);
    return exitsuccess;
}

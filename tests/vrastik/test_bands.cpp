// The map on several threads: the same bytes and the same console text as
// the serial run (VRASTIK_THREADS=1) for every cave kind, for the example
// texture scripts, for a script that draws RND and NRND, and when a fatal
// error stops the run part way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "compiler.h"
#include "generator.h"
#include "runfixture.h"
#include "texscript.h"

namespace {

std::string slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The console text up to the run time, which differs from run to run.
std::string beforetime(const std::string &console)
{
    return console.substr(0, console.find("\nTime = "));
}

class Bands : public ScratchRun {
protected:
    // The map of a run on `threads` threads; the console is kept.
    std::string mapon(int threads, const std::vector<std::string> &words)
    {
        setenv("VRASTIK_THREADS", std::to_string(threads).c_str(), 1);
        int code = run(words);
        unsetenv("VRASTIK_THREADS");
        EXPECT_EQ(code, 1234) << console;
        return slurp("mundra.gmv");
    }

    // Serial map and console, then 2, 3 and 7 threads against them.
    void expectsameonanythreads(const std::vector<std::string> &words)
    {
        const std::string serial = mapon(1, words), serialconsole = beforetime(console);
        ASSERT_GT(serial.size(), 108u);
        for (int threads : {2, 3, 7}) {
            EXPECT_TRUE(mapon(threads, words) == serial) << threads << " threads wrote other bytes";
            EXPECT_EQ(beforetime(console), serialconsole) << threads << " threads";
        }
    }
};

class EveryKindOnThreads : public Bands, public testing::WithParamInterface<int> {};

TEST_P(EveryKindOnThreads, SameBytesAsTheSerialRun)
{
    expectsameonanythreads({std::to_string(GetParam() + 16 * 3), "1500", "140"});
}

INSTANTIATE_TEST_SUITE_P(Bands, EveryKindOnThreads, testing::Range(0, 16));

TEST_F(Bands, ExampleScriptsSameBytes)
{
    std::vector<std::string> words = {"3", "3000", "128"};
    for (const char *name : {"ground", "rock", "moss", "crystal", "sandstone"})
        words.push_back(std::string(EXAMPLESDIR) + "/" + name + ".tx");
    expectsameonanythreads(words);
}

// RND and NRND share one state and draw per call: such a script is
// coloured in map order on one thread, with the same numbers.
TEST_F(Bands, ScriptDrawingRndAndNrndSameBytes)
{
    texturescript s;
    defaultscript(s);
    std::snprintf(s.text, sizeof s.text, "%s%s", exprheader, "(d1*c1 + rnd*60 + nrnd*20 + c4)*sc");
    ASSERT_EQ(savescript(s, "random.tx"), 1);
    expectsameonanythreads({"3", "2500", "128", std::string(EXAMPLESDIR) + "/ground.tx", "random.tx"});
    ASSERT_EQ(gen.texturecount, 2);
    EXPECT_TRUE(exprdrawsrandom(gen.slots[1].func));
}

// ---------------------------------------------------------------- fatal errors

// A grid without the rocks of the cells `drop` picks (the arrays stay the
// grid's own, so freegrid can free them).
void dropcells(pointgrid &g, const std::function<bool(int cell)> &drop)
{
    std::vector<int> starts(1, 0), entries;
    for (int c = 0; c < g.cellcount; c++) {
        if (!drop(c))
            entries.insert(entries.end(), g.entries + g.starts[c], g.entries + g.starts[c + 1]);
        starts.push_back(int(entries.size()));
    }
    std::memcpy(g.starts, starts.data(), starts.size() * sizeof(int));
    std::memcpy(g.entries, entries.data(), entries.size() * sizeof(int));
    g.entrycount = int(entries.size());
}

// Grid 2 with the list of `cell` grown to `copies` copies of its first rock
// (the arrays are new ones of the grid's own, so freegrid can free them).
void swellcell(pointgrid &g, int cell, int copies)
{
    const int first = g.starts[cell], count = g.starts[cell + 1] - first;
    int *entries = static_cast<int *>(std::malloc((size_t(g.entrycount) - size_t(count) + size_t(copies)) * sizeof(int)));
    ASSERT_NE(entries, nullptr);
    std::memcpy(entries, g.entries, size_t(first) * sizeof(int));
    std::fill(entries + first, entries + first + copies, g.entries[first]);
    std::memcpy(entries + first + copies, g.entries + first + count, size_t(g.entrycount - first - count) * sizeof(int));
    for (int c = cell + 1; c <= g.cellcount; c++)
        g.starts[c] += copies - count;
    std::free(g.entries);
    g.entries = entries;
    g.entrycount += copies - count;
}

// The cell of grid 2 of a solid voxel under air in row y (so a coloured
// one), from the left.
int colouredcell(int y)
{
    int32_t codes[mapdepth];
    for (int x = 0; x < mapsize; x += 16) {
        if (!makecolumn(x, y, codes))
            continue;
        for (int z = 1; z < mapdepth; z++)
            if (codes[z] == solidcode && codes[z - 1] == aircode)
                return (gen.grid2->ny * (x >> 4) + (y >> 4)) * gen.grid2->nz + (z >> 4);
    }
    return -1;
}

// Address space in use now, in bytes.
size_t addressspace()
{
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    statm >> pages;
    return pages * size_t(sysconf(_SC_PAGESIZE));
}

struct childresult {
    int status;
    std::string console, log;
    rowsfigures rows;               // of the writing
    long peakkb;                    // the child's peak resident memory
};

// The map written in a child process on `threads` threads after `damage`;
// its exit status, console text and log (time stamps cut off), and what the
// writing used.
childresult writeinchild(int threads, const std::function<void()> &damage)
{
    std::fflush(stdout);
    unlink("console.txt");
    unlink("vrastik.log");
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open("console.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        resetgenerator();
        gen.groundposition = 128;
        placerocks(3000, regioncentres, 3);
        if (!gridstage())
            _exit(3);
        damage();
        std::printf("--- writing\n");
        gen.threads = threads;
        const bool made = makemap("mundra.gmv", 0, 0, 0);
        std::fflush(stdout);
        rusage use;
        getrusage(RUSAGE_SELF, &use);
        std::ofstream("figures.txt") << lastrows.bands << " " << lastrows.threads << " " << lastrows.kits << " "
                                     << use.ru_maxrss;
        _exit(made ? 0 : 255);
    }
    childresult r = {-1, "", "", {}, 0};
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1000 - WTERMSIG(status);
    r.console = slurp("console.txt");
    r.console = r.console.substr(r.console.find("--- writing\n"));
    std::istringstream log(slurp("vrastik.log"));
    for (std::string line; std::getline(log, line);)
        r.log += (line.size() > 19 ? line.substr(19) : line) + "\n";
    std::ifstream("figures.txt") >> r.rows.bands >> r.rows.threads >> r.rows.kits >> r.peakkb;
    return r;
}

TEST_F(Bands, FatalErrorsStopWhereTheSerialRunStops)
{
    struct row {
        const char *what;
        std::function<void()> damage;
    } rows[] = {
        // no rock left for the voxels of one column of cells of grid 2 in row 496..511
        {"colour", [] { dropcells(*gen.grid2, [](int c) { return c / gen.grid2->nz == 20 * gen.grid2->ny + 31; }); }},
        // no rock left in the mixed cells of one column of cells of grid 0 in rows 560..567
        {"column", [] {
             const pointgrid &g = *gen.grid0;
             dropcells(*gen.grid0, [&g](int c) { return c / g.nz == 40 * g.ny + 70 && gen.cellclass[c] == 2; });
         }},
    };
    for (const row &r : rows) {
        childresult serial = writeinchild(1, r.damage);
        EXPECT_EQ(serial.status, 255) << r.what << "\n" << serial.console;
        EXPECT_NE(serial.console.find("no closest point!?"), std::string::npos) << r.what;
        EXPECT_NE(serial.console.find("%\r"), std::string::npos) << r.what << ": rows were written before";
        EXPECT_EQ(serial.console.find("100%"), std::string::npos) << r.what;
        for (int threads : {2, 3, 7}) {
            childresult banded = writeinchild(threads, r.damage);
            EXPECT_EQ(banded.status, serial.status) << r.what << ", " << threads << " threads";
            EXPECT_EQ(banded.console, serial.console) << r.what << ", " << threads << " threads";
            EXPECT_EQ(banded.log, serial.log) << r.what << ", " << threads << " threads";
        }
        EXPECT_FALSE(std::ifstream("mundra.gmv").good()) << "no map after a fatal error";
    }
}

// Threads beyond the bands out at once take none, and a band's buffers are
// taken with it: the kits of rows (3 MB each) follow the bands out at once,
// and the peak memory of 1000 threads stays within twice that of 16.
TEST_F(Bands, MemoryGrowsWithTheBandsOutNotWithTheThreads)
{
    const struct {
        int threads, mostkits;
    } rows[] = {{1, 1}, {16, 16}, {1000, 32}};
    long peak16 = 0;
    for (const auto &row : rows) {
        childresult r = writeinchild(row.threads, [] {});
        ASSERT_EQ(r.status, 0) << r.console;
        EXPECT_GE(r.rows.kits, 1) << row.threads;
        EXPECT_LE(r.rows.kits, row.mostkits) << row.threads << " threads";
        EXPECT_LE(r.rows.threads, std::min(row.mostkits, r.rows.bands)) << row.threads << " threads";
        if (row.threads == 16)
            peak16 = r.peakkb;
        if (row.threads == 1000) {
            EXPECT_LT(r.peakkb, 2 * peak16) << "16 threads: " << peak16 << " KB";
        }
    }
}

// Out of memory while colouring (the copy of a cell of grid 2 that cannot
// be made: five arrays of 72 MB, each too big for the heap to keep, so
// mapped afresh, under a limit of 120 MB more than the child has): the run
// ends with the message and exit -1, the old map kept, no temporary file.
TEST_F(Bands, OutOfMemoryWhileColouringEndsTheRunCleanly)
{
    for (int threads : {1, 3}) {
        std::ofstream("mundra.gmv") << "old";
        childresult r = writeinchild(threads, [] {
            const int cell = colouredcell(300);
            if (cell < 0)
                _exit(4);
            swellcell(*gen.grid2, cell, 18 << 20);
            const rlim_t room = addressspace() + (size_t(120) << 20);
            const rlimit limit = {room, room};
            setrlimit(RLIMIT_AS, &limit);
        });
        EXPECT_EQ(r.status, 255) << threads << " threads\n" << r.console;
        EXPECT_NE(r.console.find("out of memory for the rows of the map!"), std::string::npos) << r.console;
        EXPECT_EQ(slurp("mundra.gmv"), "old");
        for (const auto &e : std::filesystem::directory_iterator("."))
            EXPECT_NE(e.path().filename().string().rfind("mundra.gmv.", 0), 0u) << e.path() << " left behind";
    }
}

} // namespace

// Whole runs of vrastik in a scratch directory: exit codes, console and log
// texts, and maps that the reader accepts, byte-identical on a second run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <csignal>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "generator.h"
#include "runfixture.h"
#include "mapfile.h"

namespace fs = std::filesystem;

namespace {

// Every test runs in a directory of its own.
class VrastikRun : public ScratchRun {
protected:
    // Runs the command line; returns the exit code and keeps the console text.

    static std::string slurp(const fs::path &p)
    {
        std::ifstream f(p, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    static std::vector<std::string> loglines()
    {
        std::vector<std::string> lines;
        std::ifstream f("vrastik.log");
        for (std::string line; std::getline(f, line);)
            lines.push_back(line);
        return lines;
    }

    void expectvalidmap()
    {
        mapfile map;
        mapfault fault;
        ASSERT_TRUE(loadmap("mundra.gmv", &map, &fault)) << fault.text << " at " << fault.offset;
        EXPECT_EQ(map.header.sizex, 1024u);
        EXPECT_EQ(map.header.right[0], 1.0);
        EXPECT_EQ(map.header.forward[1], -1.0);
    }
};

TEST_F(VrastikRun, TooFewArgumentsPrintUsageAndTouchNothing)
{
    EXPECT_EQ(run({"1", "2"}), -1);
    EXPECT_EQ(console.rfind("\n\nVrastik by Yorvath '2003-09-06\nusage:\n", 0), 0u) << console;
    EXPECT_NE(console.find("      >1 texture = 1st=ground, other randomly assigned to rocks\n"), std::string::npos);
    EXPECT_FALSE(fs::exists("vrastik.log"));
    EXPECT_FALSE(fs::exists("mundra.gmv"));
}

TEST_F(VrastikRun, RefusedArgumentsNameTheirRangeAndWriteNoMap)
{
    struct row {
        std::vector<std::string> words;
        const char *message;
    } rows[] = {
        {{"3", "0", "128"}, "number_of_rocks must be 1..32768 for cave kind 3, not 0"},
        {{"2", "32769", "128"}, "number_of_rocks must be 1..32768 for cave kind 2, not 32769"},
        {{"15", "-5", "128"}, "number_of_rocks must be 1..32768 for cave kind 15, not -5"},
        {{"3", "100", "128", "a.tx"}, "Loading textures...\n  a.tx ...error loading texture a.tx!\n\n"},
    };
    for (const row &r : rows) {
        EXPECT_EQ(run(r.words), -1);
        EXPECT_NE(console.find(r.message), std::string::npos) << console;
        EXPECT_FALSE(fs::exists("mundra.gmv"));
    }
    std::vector<std::string> many = {"3", "100", "128"};
    for (int i = 0; i < 257; i++)
        many.push_back("t" + std::to_string(i) + ".tx");
    EXPECT_EQ(run(many), -1);
    EXPECT_NE(console.find("at most 256 texture files, not 257"), std::string::npos) << console;
    // Each refused run logged its command line and its message (the texture
    // that does not load also the reason); a message ends in a line feed of
    // its own, so an empty line follows it.
    std::vector<std::string> lines = loglines();
    ASSERT_EQ(lines.size(), 3 * 5u + 2);
    EXPECT_EQ(lines[1].substr(19), " ...error: number_of_rocks must be 1..32768 for cave kind 3, not 0");
    EXPECT_EQ(lines[2], "");
}

TEST_F(VrastikRun, LongCommandLineIsCutInTheLog)
{
    std::vector<std::string> words = {"3", "100", "128"};
    for (int i = 0; i < 300; i++)
        words.push_back("averyveryverylongtexturename" + std::to_string(i) + ".tx");
    EXPECT_EQ(run(words), -1);
    std::vector<std::string> lines = loglines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].size(), 20u + 255u);   // time stamp and blank, then 255 characters
    EXPECT_EQ(lines[0].substr(20, 18), "vrastik 3 100 128 ");
}

TEST_F(VrastikRun, DefaultCaveIsValidAndReproducible)
{
    ASSERT_EQ(run({"3", "8192", "128"}), 1234);
    expectvalidmap();
    EXPECT_EQ(console.rfind("Generating cave nr = 3\nCalculate grid 0...\n", 0), 0u) << console;
    EXPECT_NE(console.find("Texscale = 0.630\nAir = "), std::string::npos);
    EXPECT_NE(console.find("|==================================================| 100%\r\nTime = "), std::string::npos);
    std::string first = slurp("mundra.gmv");
    EXPECT_EQ(first.substr(0, 12), std::string("\x00\x20\x07\x09\x00\x04\x00\x00\x00\x04\x00\x00", 12));

    ASSERT_EQ(run({"3", "8192", "128"}), 1234);
    EXPECT_TRUE(first == slurp("mundra.gmv")) << "a second run must write the same bytes";
    std::vector<std::string> lines = loglines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(19), " vrastik 3 8192 128");
    EXPECT_NE(lines[1].find(" Time = "), std::string::npos);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 10), ". Success!");
    for (const std::string &l : lines)
        EXPECT_EQ(l[4], '-') << l;
}

// One seed of every cave kind, each its own test so they can run side by side.
class EveryKind : public VrastikRun, public testing::WithParamInterface<int> {};

TEST_P(EveryKind, WritesAValidMap)
{
    const int kind = GetParam();
    ASSERT_EQ(run({std::to_string(kind + 16 * 7), "3000", "160"}), 1234) << console;
    expectvalidmap();
}

INSTANTIATE_TEST_SUITE_P(VrastikRun, EveryKind, testing::Range(0, 16));

TEST_F(VrastikRun, GroundCapsAtBothEnds)
{
    ASSERT_EQ(run({"6", "700", "300"}), 1234);
    std::string high = slurp("mundra.gmv");
    ASSERT_EQ(run({"6", "700", "255"}), 1234);
    EXPECT_TRUE(high == slurp("mundra.gmv"));

    // Ground 0 (and below, capped to 0): every column is solid from the top.
    ASSERT_EQ(run({"6", "700", "-40"}), 1234);
    mapfile map;
    mapfault fault;
    ASSERT_TRUE(loadmap("mundra.gmv", &map, &fault)) << fault.text;
    for (uint32_t y = 0; y < 1024; y += 97)
        for (uint32_t x = 0; x < 1024; x += 89) {
            mapcolumn col;
            decodemapcolumn(map, x, y, &col);
            ASSERT_EQ(col.state[0], voxelcoloured);
            ASSERT_EQ(col.colours, 1);
        }
    std::string capped = slurp("mundra.gmv");
    ASSERT_EQ(run({"6", "700", "0"}), 1234);
    EXPECT_TRUE(capped == slurp("mundra.gmv"));
}

TEST_F(VrastikRun, UnwritableMapFailsAndKeepsNoPartialFile)
{
    // A directory in the way of the map: the rename cannot replace it.
    fs::create_directory("mundra.gmv");
    EXPECT_EQ(run({"3", "500", "128"}), -1);
    EXPECT_NE(console.find("...error writing mundra.gmv"), std::string::npos) << console;
    EXPECT_EQ(console.find("Success"), std::string::npos);
    for (const std::string &l : loglines())
        EXPECT_EQ(l.find("Success"), std::string::npos) << l;
    int files = 0;
    for (const auto &e : fs::directory_iterator("."))
        files += e.path().filename() != "vrastik.log" && e.path().filename() != "mundra.gmv";
    EXPECT_EQ(files, 0) << "the temporary map must be removed";

    EXPECT_EQ(writemap("no/such/dir/mundra.gmv", 0, 0, 0).status, writenotstarted);
}

namespace {

// Names in the current directory other than the log and the map.
int strayfiles()
{
    int files = 0;
    for (const auto &e : fs::directory_iterator("."))
        files += e.path().filename() != "vrastik.log" && e.path().filename() != "mundra.gmv";
    return files;
}

} // namespace

// A file-size limit (standing in for a full disk) fails the write with the
// system's reason instead of killing the run; SIGHUP during the write ends
// the run by that signal. Both leave the old map and no temporary file.
TEST_F(VrastikRun, LimitedOrHungUpWriteKeepsTheOldMap)
{
    std::ofstream("mundra.gmv") << "old";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit = {2 << 20, 2 << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        int code = run({"3", "500", "128"});
        _exit(code == -1 && console.find("...error writing mundra.gmv: File too large\n") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(slurp("mundra.gmv"), "old");
    EXPECT_EQ(strayfiles(), 0);

    child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(run({"3", "500", "128"}) & 0xFF);
    // Wait for the temporary map to appear (bounded, should the run end first).
    for (int i = 0; i < 60000 && strayfiles() == 0 && waitpid(child, &status, WNOHANG) == 0; i++)
        usleep(1000);
    kill(child, SIGHUP);
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGHUP);
    EXPECT_EQ(slurp("mundra.gmv"), "old");
    EXPECT_EQ(strayfiles(), 0);
}

// Any signal that ends the run while the map is written (sent, or a console
// pipe nobody reads any more, as in `vrastik ... | head -c 100`) ends it by
// that signal, leaves the old map and no temporary file, and the log's last
// line says what stopped the run, with its time.
TEST_F(VrastikRun, SignalsEndTheRunWithALogLine)
{
    const struct {
        int sig;            // sent once the temporary map is there; 0: the console's pipe breaks
        const char *says;   // in the log's last line
    } rows[] = {
        {SIGPIPE, " ...stopped by SIGPIPE (Broken pipe): mundra.gmv left as it was"},
        {SIGQUIT, " ...stopped by SIGQUIT (Quit): mundra.gmv left as it was"},
        {0, " ...stopped by SIGPIPE (Broken pipe)"},
    };
    for (const auto &row : rows) {
        std::ofstream("mundra.gmv") << "old";
        long long before = (long long)std::time(nullptr);
        int console[2];
        ASSERT_EQ(pipe(console), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            rlimit none = {0, 0};
            setrlimit(RLIMIT_CORE, &none);
            if (row.sig)
                _exit(run({"3", "500", "128"}) & 0xFF);
            dup2(console[1], 1);
            close(console[0]);
            char *argv[] = {(char *)"vrastik", (char *)"3", (char *)"500", (char *)"128", nullptr};
            resetgenerator();
            _exit(runvrastik(4, argv) & 0xFF);
        }
        close(console[0]);
        close(console[1]);
        int status = 0;
        for (int i = 0; row.sig && i < 60000 && strayfiles() == 0 && waitpid(child, &status, WNOHANG) == 0; i++)
            usleep(1000);   // until the temporary map is there (bounded, should the run end first)
        if (row.sig)
            kill(child, row.sig);
        waitpid(child, &status, 0);
        long long after = (long long)std::time(nullptr);
        int sig = row.sig ? row.sig : SIGPIPE;
        ASSERT_TRUE(WIFSIGNALED(status)) << strsignal(sig);
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(slurp("mundra.gmv"), "old");
        EXPECT_EQ(strayfiles(), 0);
        std::vector<std::string> lines = loglines();
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(lines.back().find(row.says), std::string::npos) << lines.back();
        std::tm t{};   // the handler's own clock, read as the log's other lines are
        t.tm_isdst = -1;
        ASSERT_TRUE(strptime(lines.back().c_str(), "%Y-%m-%d %H:%M:%S ", &t)) << lines.back();
        EXPECT_TRUE(std::mktime(&t) >= before && std::mktime(&t) <= after) << lines.back();
    }
}

} // namespace

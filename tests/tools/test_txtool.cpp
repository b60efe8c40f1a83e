// txtool show and make, run as the user runs them.
#include "support/command.h"
#include "support/filebytes.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct runresult {
    int code;
    std::string out;
};

runresult run(const std::string &args)
{
    runresult r;
    r.code = runcommand(std::string(TXTOOL) + " " + args + " 2>&1", &r.out);
    return r;
}

const std::string header = "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n";

filebytes goodfile()
{
    filebytes b;
    b.tag("TxQv").tag("Wgt:");
    for (int i = 0; i < 16; i++)
        b.f32(float(i));
    b.tag("Air:").f32(-1.5f).tag("Lta:").f32(0.25f).tag("Wgt2");
    for (int i = 0; i < 12; i++)
        b.f32(float(i) * 10.0f);
    b.tag("Scal").f32(0.75f).tag("w6ol").f32(2.5f);
    b.tag("Eqat").u32(uint32_t(header.size() + 6)).text(header + "d1*c1");
    return b;
}

}   // namespace

TEST(TxTool, ShowsEverySectionOfAGoodFile)
{
    std::string path = scratchpath("good.tx");
    writebytes(path, goodfile().v);
    runresult r = run("show " + path);
    EXPECT_EQ(r.code, 0) << r.out;
    const char *expected[] = {
        "Wgt:  weight table", "group scale", "shape -1.5 (convex; gives solid weight 2.5)",
        "light angle 0.25 rad", "Wgt2  channel weights", "110", "global scale 0.75", "solid weight 2.5",
        "Eqat  expression, 44 bytes", "d1*c1", "\ngood\n",
    };
    for (const char *e : expected)
        EXPECT_NE(r.out.find(e), std::string::npos) << e << "\n" << r.out;
}

TEST(TxTool, TellsDamagedFiles)
{
    filebytes noeqat = goodfile();
    noeqat.cut(4 + 4 + header.size() + 6);
    const struct {
        const char *what;
        filebytes bytes;
        const char *message;
    } rows[] = {
        {"wrong magic", filebytes{{'T', 'x', 'Q', 'V', 'S', 'c', 'a', 'l'}}, "no \"TxQv\" magic"},
        {"cut inside a section", filebytes{}.tag("TxQv").tag("Wgt:").f32(1), "section cut off"},
        {"unknown tag", filebytes{goodfile()}.tag("Junk"), "unknown tag"},
        {"negative length", filebytes{}.tag("TxQv").tag("Eqat").u32(0xFFFFFFFFu), "length outside 0..8192"},
        {"text without NUL", filebytes{}.tag("TxQv").tag("Eqat").u32(3).text("abc", false), "without its"},
        {"text cut off", filebytes{}.tag("TxQv").tag("Eqat").u32(50).text("abc"), "text cut off"},
        {"no expression", noeqat, "no \"Eqat\" section"},
    };
    std::string path = scratchpath("damaged.tx");
    for (auto &row : rows) {
        writebytes(path, row.bytes.v);
        runresult r = run("show " + path);
        EXPECT_EQ(r.code, 1) << row.what << "\n" << r.out;
        EXPECT_NE(r.out.find("damaged"), std::string::npos) << row.what << "\n" << r.out;
        EXPECT_NE(r.out.find(row.message), std::string::npos) << row.what << "\n" << r.out;
    }
    EXPECT_EQ(run("show " + scratchpath("missing.tx")).code, 1);
}

// A file too long for a script is called so with its real size, also when
// it is far past what show reads (a sparse file of 5 GiB).
TEST(TxTool, ShowTellsTheSizeOfAHugeFile)
{
    std::string path = scratchpath("huge.tx");
    for (long long size : {(1LL << 20) + 1, 5LL << 30}) {
        writebytes(path, {'T', 'x', 'Q', 'v'});
        ASSERT_EQ(truncate(path.c_str(), size), 0);
        runresult r = run("show " + path);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, path + ": " + std::to_string(size) + " bytes\ndamaged: longer than any texture script\n");
    }
}

TEST(TxTool, MakeWritesWhatShowReads)
{
    std::string source = scratchpath("made.txt"), out = scratchpath("made.tx");
    writebytes(source, filebytes{}.text("scale = 0.5\nexpression:\nfn*c4\n", false).v);
    runresult r = run("make " + out + " " + source);
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(readbytes(out).size(), 164u + header.size() + 6);
    runresult s = run("show " + out);
    EXPECT_EQ(s.code, 0) << s.out;
    EXPECT_NE(s.out.find("global scale 0.5"), std::string::npos) << s.out;
    EXPECT_NE(s.out.find("fn*c4"), std::string::npos) << s.out;
}

TEST(TxTool, MakeRefusesBadSourcesAndKeepsTheOldFile)
{
    std::string out = scratchpath("kept.tx");
    writebytes(out, {'o', 'l', 'd'});
    const struct {
        const char *source, *message;
    } rows[] = {
        {"shape = ?\n", "line 1: expected 1 number"},
        {"expression:\n1+*\n", "does not compile"},
    };
    std::string source = scratchpath("bad.txt");
    for (auto &row : rows) {
        writebytes(source, filebytes{}.text(row.source, false).v);
        runresult r = run("make " + out + " " + source);
        EXPECT_EQ(r.code, 1) << r.out;
        EXPECT_NE(r.out.find(row.message), std::string::npos) << r.out;
        EXPECT_EQ(readbytes(out), (std::vector<uint8_t>{'o', 'l', 'd'}));
    }
    EXPECT_EQ(run("make " + out + " " + scratchpath("nosource.txt")).code, 1);
    EXPECT_EQ(run("make " + out).code, 2);
}

// Targets that are not files are refused with the system's reason; a link
// planted at the old fixed temporary name leads nowhere.
TEST(TxTool, MakeRefusesTargetsThatAreNotFilesAndSaysWhy)
{
    std::string source = scratchpath("plain.txt"), dir = scratchpath("targets");
    writebytes(source, filebytes{}.text("expression:\nfn*c4\n", false).v);
    mkdir(dir.c_str(), 0755);
    mkfifo((dir + "/fifo.tx").c_str(), 0644);
    const struct {
        std::string target, says;
    } rows[] = {
        {dir, "txtool make: cannot write " + dir + ": it is a directory, not a regular file\n"},
        {dir + "/fifo.tx", "txtool make: cannot write " + dir + "/fifo.tx: it is a FIFO, not a regular file\n"},
        {dir + "/no/x.tx", "txtool make: cannot create " + dir + "/no/x.tx: No such file or directory\n"},
    };
    for (const auto &r : rows) {
        runresult m = run("make " + r.target + " " + source);
        EXPECT_EQ(m.code, 1) << r.target;
        EXPECT_EQ(m.out, r.says);
    }
    symlink("victim", (dir + "/out.tx.tmp").c_str());
    runresult m = run("make " + dir + "/out.tx " + source);
    EXPECT_EQ(m.code, 0) << m.out;
    EXPECT_FALSE(fileexists(dir + "/victim"));
    EXPECT_EQ(readbytes(dir + "/out.tx").size(), 164u + header.size() + 6);
}

namespace {

pid_t spawnmake(const std::string &out, const std::string &source)
{
    pid_t pid = fork();
    if (pid == 0) {
        execl(TXTOOL, TXTOOL, "make", out.c_str(), source.c_str(), (char *)nullptr);
        _exit(127);
    }
    return pid;
}

int waitcode(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

// Pairs of makes of one file at once: each leaves a whole script, so the
// file is always exactly one of the two, and both say they succeeded.
TEST(TxTool, ConcurrentMakesNeverMixTwoScripts)
{
    std::string a = scratchpath("long.txt"), b = scratchpath("short.txt");
    writebytes(a, filebytes{}.text("expression:\nfn*c4 // " + std::string(7000, 'a') + "\n", false).v);
    writebytes(b, filebytes{}.text("scale = 0.5\nexpression:\nfn*c3\n", false).v);
    std::string refa = scratchpath("long.tx"), refb = scratchpath("short.tx"), out = scratchpath("same.tx");
    ASSERT_EQ(run("make " + refa + " " + a).code, 0);
    ASSERT_EQ(run("make " + refb + " " + b).code, 0);
    const std::vector<uint8_t> wanta = readbytes(refa), wantb = readbytes(refb);
    for (int round = 0; round < 100; round++) {
        pid_t first = spawnmake(out, a), second = spawnmake(out, b);
        ASSERT_EQ(waitcode(first), 0) << round;
        ASSERT_EQ(waitcode(second), 0) << round;
        std::vector<uint8_t> got = readbytes(out);
        ASSERT_TRUE(got == wanta || got == wantb) << "round " << round << ": " << got.size() << " bytes";
    }
}

// Inputs that are not regular files are refused at once with the reason,
// never waited on.
TEST(TxTool, InputsThatAreNotFilesAreRefused)
{
    std::string fifo = scratchpath("input.fifo"), out = scratchpath("fromfifo.tx");
    mkfifo(fifo.c_str(), 0644);
    const std::string because = fifo + ": it is a FIFO, not a regular file";
    const struct {
        std::string args;
        int code;
        std::string says;
    } rows[] = {
        {"show " + fifo, 1, "txtool show: cannot open " + because + "\n"},
        {"make " + out + " " + fifo, 1, "txtool make: " + fifo + ": cannot open " + because + "\n"},
        {"eval @" + fifo, 2, "txtool: cannot open '" + fifo + "': it is a FIFO, not a regular file\n"},
    };
    for (const auto &r : rows) {
        runresult m = run(r.args);
        EXPECT_EQ(m.code, r.code) << r.args;
        EXPECT_EQ(m.out, r.says);
    }
    EXPECT_FALSE(fileexists(out));
}

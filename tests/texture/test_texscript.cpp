// Texture script files: the saved bytes, both readers, damaged input.
#include "designer.h"
#include "pointset.h"
#include "random.h"
#include "texscript.h"

#include "support/filebytes.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

const std::string header = "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n";
const std::string body = "(d1*c1 + d2*c2 + d3/(abs(sin(d3*.1))+1)*c3 + (c4+fn+1)*16)*sc";

int lastbodylength;
int resetcalls;
void recordreset(int bodylength)
{
    lastbodylength = bodylength;
    resetcalls++;
}

struct TexScript : ::testing::Test {
    void SetUp() override
    {
        defaultscript(texscripts.script);
        derivechannels(texscripts.script);
        texscripts.editreset = recordreset;
        resetcalls = 0;
        lastbodylength = -1;
    }
    void TearDown() override { texscripts.editreset = nullptr; }
};

// The designer never reads the channel weights back: they are derived.
bool samerecord(const texturescript &a, const texturescript &b, bool withchannels = true)
{
    return std::strcmp(a.text, b.text) == 0 &&
           std::memcmp(a.weights, b.weights, sizeof a.weights) == 0 &&
           (!withchannels || std::memcmp(a.channel, b.channel, sizeof a.channel) == 0) && a.shape == b.shape &&
           a.lightangle == b.lightangle && a.scale == b.scale && a.solidweight == b.solidweight;
}

int loadbytes(const filebytes &b, const char *name = "in.tx")
{
    std::string path = scratchpath(name);
    writebytes(path, b.v);
    return loadtexture(path.c_str());
}

}   // namespace

TEST_F(TexScript, DefaultsAreTheStartUpValues)
{
    const texturescript &s = texscripts.script;
    EXPECT_EQ(std::string(s.text), header + body);
    EXPECT_EQ(s.weights[0][0], 2.2f);
    EXPECT_EQ(s.weights[2][1], 2.7f);
    EXPECT_EQ(s.weights[3][0], -3.0f);
    EXPECT_EQ(s.scale, 1.0f);
    EXPECT_EQ(s.shape, -1.0f);
    EXPECT_EQ(s.solidweight, 2.0f);
    EXPECT_EQ(s.lightangle, 0.0f);
    EXPECT_EQ(s.channel[0][0], 2.2f * -3.0f);
    EXPECT_EQ(s.channel[2][3], 4.0f);
}

// The default record saved: every byte written out by hand (floats in hex,
// channel weights as products of the weight table rows and group scales).
TEST_F(TexScript, SavedDefaultMatchesHandAssembledBytes)
{
    filebytes want;
    want.tag("TxQv").tag("Wgt:");
    const uint32_t weights[16] = {0x400CCCCD, 0x3FD9999A, 0x40400000, 0x40000000, 0x40000000, 0x3FE66666,
                                  0x400CCCCD, 0x40000000, 0x40800000, 0x402CCCCD, 0x40200000, 0x40000000,
                                  0xC0400000, 0x40000000, 0x40000000, 0x40000000};
    for (uint32_t w : weights)
        want.u32(w);
    want.tag("Air:").u32(0xBF800000).tag("Lta:").u32(0).tag("Wgt2");
    const uint32_t channels[12] = {0xC0D33334, 0x4059999A, 0x40C00000, 0x40800000, 0xC0C00000, 0x40666666,
                                   0x408CCCCD, 0x40800000, 0xC1400000, 0x40ACCCCD, 0x40A00000, 0x40800000};
    for (uint32_t c : channels)
        want.u32(c);
    want.tag("Scal").u32(0x3F800000).tag("w6ol").u32(0x40000000).tag("Eqat").u32(100).text(header + body);

    std::string path = scratchpath("default.tx");
    ASSERT_EQ(savetexture(path.c_str()), 1);
    std::vector<uint8_t> got = readbytes(path);
    EXPECT_EQ(got.size(), 264u);
    EXPECT_EQ(got, want.v);
}

TEST_F(TexScript, SaveAndLoadRoundTrip)
{
    texturescript &s = texscripts.script;
    s.shape = 0.75f;
    s.lightangle = 1.25f;
    s.scale = 0.5f;
    s.solidweight = 0.125f;
    s.weights[1][2] = -7.5f;
    derivechannels(s);
    std::snprintf(s.text, sizeof s.text, "%s%s", header.c_str(), "d1*c1\n+fn");
    texturescript saved = s;
    std::string path = scratchpath("roundtrip.tx");
    ASSERT_EQ(savetexture(path.c_str()), 1);
    EXPECT_EQ(readbytes(path).size(), 164u + header.size() + 9 + 1);

    defaultscript(s);
    ASSERT_EQ(loadtexture(path.c_str()), 1);
    EXPECT_TRUE(samerecord(s, saved, false));
    EXPECT_EQ(s.channel[1][2], 2.2f * 2.0f);   // still the defaults' product
    EXPECT_EQ(resetcalls, 1);
    EXPECT_EQ(lastbodylength, 9);
}

TEST_F(TexScript, SaveFailureLeavesExistingFileAlone)
{
    // A file the size limit cuts short (a full disk): the reason, the old
    // file, no temporary file, and SIGXFSZ does not end the process.
    std::string dir = scratchpath("limited");
    mkdir(dir.c_str(), 0755);
    std::string path = dir + "/keep.tx";
    writebytes(path, {'o', 'l', 'd'});
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit = {100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(savetexture(path.c_str()) == 0 && std::string(texscripts.why) == "cannot write " + path + ": File too large"
                  ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readbytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));

    // An unrelated file with the old fixed temporary name is left alone.
    writebytes(path + ".tmp", {'m', 'i', 'n', 'e'});
    ASSERT_EQ(savetexture(path.c_str()), 1) << texscripts.why;
    EXPECT_EQ(readbytes(path).size(), 264u);
    EXPECT_EQ(readbytes(path + ".tmp"), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));

    // Targets that cannot be replaced; nothing is left behind.
    std::string fifo = dir + "/pipe.tx";
    mkfifo(fifo.c_str(), 0644);
    const struct {
        std::string path, why;
    } rows[] = {
        {dir, "cannot write " + dir + ": it is a directory, not a regular file"},
        {fifo, "cannot write " + fifo + ": it is a FIFO, not a regular file"},
        {dir + "/missing/x.tx", "cannot create " + dir + "/missing/x.tx: No such file or directory"},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(savetexture(r.path.c_str()), 0) << r.path;
        EXPECT_EQ(std::string(texscripts.why), r.why);
    }
    struct stat st;
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    int entries = 0;
    for (DIR *d = opendir(dir.c_str()); d; d = nullptr) {
        while (readdir(d))
            entries++;
        closedir(d);
    }
    EXPECT_EQ(entries, 2 + 3);   // ., .., keep.tx, keep.tx.tmp, pipe.tx
}

TEST_F(TexScript, SectionsInAnyOrderRepeatedAndUnknown)
{
    filebytes b;
    b.tag("TxQv").tag("Eqat").u32(uint32_t(header.size() + 2)).text(header + "7");
    b.tag("Scal").f32(3.0f).tag("Air:").f32(4.0f);
    b.tag("Zzzz");                          // unknown: walked over as a bare tag
    b.tag("Lta:").f32(0.5f).tag("Scal").f32(9.0f);
    b.tag("Wgt2");                          // the designer walks over its floats
    for (int i = 0; i < 12; i++)
        b.f32(1.0f);                        // 00 00 80 3F: no known tag
    b.tag("w6ol").f32(6.0f);
    ASSERT_EQ(loadbytes(b), 1);
    const texturescript &s = texscripts.script;
    EXPECT_EQ(std::string(s.text), header + "7");
    EXPECT_EQ(s.scale, 9.0f);               // the last occurrence wins
    EXPECT_EQ(s.shape, 4.0f);
    EXPECT_EQ(s.lightangle, 0.5f);
    EXPECT_EQ(s.solidweight, 6.0f);
    EXPECT_EQ(s.channel[0][0], 2.2f * -3.0f);   // "Wgt2" is never read by the designer
    EXPECT_EQ(s.weights[0][0], 2.2f);
}

TEST_F(TexScript, ShortAndDamagedFiles)
{
    texturescript before = texscripts.script;
    struct {
        const char *what;
        std::vector<uint8_t> bytes;
        int result;
    } cases[] = {
        {"empty file", {}, 0},
        {"three bytes of magic", {'T', 'x', 'Q'}, 0},
        {"wrong magic", {'T', 'x', 'Q', 'w', 'S', 'c', 'a', 'l'}, 0},
        {"magic only", {'T', 'x', 'Q', 'v'}, 1},
        {"magic and half a tag", {'T', 'x', 'Q', 'v', 'S', 'c'}, 1},
        {"tag without its float", {'T', 'x', 'Q', 'v', 'S', 'c', 'a', 'l', 0, 0}, 1},
        {"Eqat without a length", {'T', 'x', 'Q', 'v', 'E', 'q', 'a', 't', 5}, 1},
    };
    for (auto &c : cases) {
        filebytes b{c.bytes};
        EXPECT_EQ(loadbytes(b), c.result) << c.what;
        EXPECT_TRUE(samerecord(texscripts.script, before)) << c.what;
    }
    EXPECT_EQ(resetcalls, 0);
    EXPECT_EQ(loadtexture(scratchpath("does-not-exist.tx").c_str()), 0);
}

TEST_F(TexScript, CutOffInsideASectionKeepsWhatArrived)
{
    filebytes b;
    b.tag("TxQv").tag("Scal").f32(5.0f).tag("Wgt:");
    for (int i = 0; i < 5; i++)
        b.f32(10.0f + float(i));
    ASSERT_EQ(loadbytes(b), 1);
    const texturescript &s = texscripts.script;
    EXPECT_EQ(s.scale, 5.0f);
    EXPECT_EQ(s.weights[0][3], 13.0f);
    EXPECT_EQ(s.weights[1][0], 14.0f);
    EXPECT_EQ(s.weights[1][1], 1.8f);       // not reached: unchanged

    filebytes t;
    t.tag("TxQv").tag("Eqat").u32(100).text(header + "d1*c", false);
    ASSERT_EQ(loadbytes(t), 1);
    EXPECT_EQ(std::string(texscripts.script.text), header + "d1*c");
    EXPECT_EQ(lastbodylength, 4);
}

TEST_F(TexScript, BadTextLengthMakesTheFileUnloadable)
{
    texturescript before = texscripts.script;
    const uint32_t lengths[] = {0xFFFFFFFFu, 0x80000000u, 8193u, 0x7FFFFFFFu};
    for (uint32_t n : lengths) {
        filebytes b;
        b.tag("TxQv").tag("Scal").f32(42.0f).tag("Eqat").u32(n).text(header + "1");
        EXPECT_EQ(loadbytes(b), 0) << n;
        EXPECT_TRUE(samerecord(texscripts.script, before)) << n;
    }
    EXPECT_EQ(resetcalls, 0);
}

// The header's parameters counted as the compiler counts them; the loader
// refuses more than the twelve a texture is called with, even behind a first
// line of the standard length.
TEST_F(TexScript, HeadersWithMoreThanTwelveParametersAreRefused)
{
    const char *const texts[] = {
        "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\nvx",
        "(a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r)\na",
        "(a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,qqq,\n r,s,t)\na",
        "// (x,y)\n/* (p,q,r) */ ( a , b /* ,c */ )\na",
        "text before (x)\nx",
        "(x)// (a,b)\nx",
        "( )\n1",
    };
    for (const char *t : texts) {
        ASSERT_NE(compileexpr(t), nullptr) << t << ": " << compileerror();
        EXPECT_EQ(headerparamcount(t), exprparamcount()) << t;
    }
    texturescript before = texscripts.script;
    for (const char *t : {texts[1], texts[2]}) {
        filebytes b;
        b.tag("TxQv").tag("Scal").f32(42.0f).tag("Eqat").u32(uint32_t(std::strlen(t) + 1)).text(t);
        std::string path = scratchpath("many.tx");
        writebytes(path, b.v);
        EXPECT_EQ(loadtexture(path.c_str()), 0) << t;
        EXPECT_EQ(std::string(texscripts.why), path + ": the expression header declares " +
                                                   std::to_string(headerparamcount(t)) +
                                                   " parameters, more than the 12 a texture is given");
        EXPECT_TRUE(samerecord(texscripts.script, before));
    }
}

// The designer's load says why a file was not loaded.
TEST_F(TexScript, RefusedLoadsSayWhy)
{
    std::string dir = scratchpath("refused");
    mkdir(dir.c_str(), 0755);
    mkfifo((dir + "/fifo.tx").c_str(), 0644);
    writebytes(dir + "/junk.tx", {'T', 'x', 'Q', 'V'});
    writebytes(dir + "/cut.tx", filebytes{}.tag("TxQv").tag("Eqat").u32(8193).text(header).v);
    std::string deep = dir;   // a path of 2,000 bytes keeps its reason
    for (int i = 0; i < 10; i++)
        deep += "/" + std::string(199, 'd');
    const struct {
        std::string path, why;
    } rows[] = {
        {dir + "/missing.tx", "cannot open " + dir + "/missing.tx: No such file or directory"},
        {dir, "cannot open " + dir + ": it is a directory, not a regular file"},
        {dir + "/fifo.tx", "cannot open " + dir + "/fifo.tx: it is a FIFO, not a regular file"},
        {dir + "/junk.tx", dir + "/junk.tx is not a texture script (no \"TxQv\" magic)"},
        {dir + "/cut.tx", dir + "/cut.tx is damaged: expression length 8193 is outside 0..8192"},
        {deep + "/x.tx", "cannot open " + deep + "/x.tx: No such file or directory"},
    };
    for (const auto &r : rows) {
        char why[texwhysize];
        EXPECT_EQ(loaddesign(r.path.c_str(), why, sizeof why), 0) << r.path;
        EXPECT_EQ(std::string(why), r.why);
    }
}

TEST_F(TexScript, TextWithoutItsNulIsTerminated)
{
    // Exactly the buffer size and no NUL: the last byte gives way.
    std::string full = header + std::string(8192 - header.size(), 'x');
    filebytes b;
    b.tag("TxQv").tag("Eqat").u32(8192).text(full, false).tag("Scal").f32(2.5f);
    ASSERT_EQ(loadbytes(b), 1);
    EXPECT_EQ(std::strlen(texscripts.script.text), 8191u);
    EXPECT_EQ(std::string(texscripts.script.text), full.substr(0, 8191));
    EXPECT_EQ(texscripts.script.scale, 2.5f);

    filebytes c;
    c.tag("TxQv").tag("Eqat").u32(uint32_t(header.size() + 3)).text(header + "fn+", false).tag("Scal").f32(7);
    ASSERT_EQ(loadbytes(c), 1);
    EXPECT_EQ(std::string(texscripts.script.text), header + "fn+");
    EXPECT_EQ(texscripts.script.scale, 7.0f);
}

TEST_F(TexScript, HeaderNormalisation)
{
    const std::string other37 = "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sd)";
    ASSERT_EQ(other37.size(), 37u);
    struct {
        std::string stored, loaded;
        int bodylength;
    } cases[] = {
        {header + "fn", header + "fn", 2},
        {"(x)\nd1*2\nfn", header + "d1*2\nfn", 7},
        {other37 + "\nsd", other37 + "\nsd", 2},
        {other37, other37, 0},
        {"no line feed at all", header, 0},
        {"", header, 0},
        {"\nbody", header + "body", 4},
        {std::string(60, '(') + "\nsc", header + "sc", 2},
        {header.substr(0, 37) + " \nfn", header + "fn", 2},
    };
    for (auto &c : cases) {
        filebytes b;
        b.tag("TxQv").tag("Eqat").u32(uint32_t(c.stored.size() + 1)).text(c.stored);
        ASSERT_EQ(loadbytes(b), 1) << c.stored;
        EXPECT_EQ(std::string(texscripts.script.text), c.loaded) << c.stored;
        EXPECT_EQ(lastbodylength, c.bodylength) << c.stored;
    }
}

TEST_F(TexScript, NormalisedBodyThatWouldNotFitIsCutAtItsEnd)
{
    // A one-byte first line gives way to the 38-byte header: 36 more bytes
    // than the buffer holds, so the body loses its last bytes.
    std::string bodytext;
    for (int i = 0; (int)bodytext.size() < 8189; i++)
        bodytext += char('a' + i % 26);
    std::string stored = "(\n" + bodytext;
    ASSERT_EQ(stored.size(), 8191u);
    filebytes b;
    b.tag("TxQv").tag("Eqat").u32(8192).text(stored);
    ASSERT_EQ(loadbytes(b), 1);
    const char *t = texscripts.script.text;
    EXPECT_EQ(std::strlen(t), 8191u);
    EXPECT_EQ(std::string(t), header + bodytext.substr(0, 8191 - 38));
    EXPECT_EQ(lastbodylength, 8191 - 38);
}

TEST_F(TexScript, NormaliseHeaderNeverWritesPastTheBuffer)
{
    // The buffer is followed by a guard; the text arrives unterminated.
    static struct {
        char text[exprtextsize];
        char guard[64];
    } area;
    std::memset(area.text, 'q', sizeof area.text);
    std::memset(area.guard, 0x5A, sizeof area.guard);
    area.text[0] = '\n';
    int length = normaliseheader(area.text);
    EXPECT_EQ(length, exprtextsize - 1 - exprheaderlength);
    EXPECT_EQ(std::strlen(area.text), size_t(exprtextsize - 1));
    for (char g : area.guard)
        ASSERT_EQ(g, 0x5A);
}

TEST(MakeDefaults, DrawsThePointsAndCompilesTheDefault)
{
    resetlibraryrand();
    std::memset(&texscripts.script, 0, sizeof texscripts.script);
    makedefaults();
    texturescript want;
    defaultscript(want);
    EXPECT_TRUE(samerecord(texscripts.script, want));
    EXPECT_NE(texscripts.func, nullptr) << compileerror();
    // 384 draws: x, y, z of 128 points, before anything else.
    uint32_t state = 1;
    for (int i = 0; i < 384; i++)
        state = state * 214013u + 2531011u;
    EXPECT_EQ(librandom.state, state);
    EXPECT_EQ(designpoints.points[0].x, 41.0f / 128.0f);
    EXPECT_EQ(designpoints.points[0].weight, designpoints.air[0] ? 1.0f : 2.0f);
}

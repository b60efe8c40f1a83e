// The generator's reader: what it takes from a file, what it refuses, and
// the log lines it hands to the run log.
#include "compiler.h"
#include "texscript.h"

#include "support/filebytes.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const std::string header = "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n";

std::vector<std::string> loglines;
void recordlog(const char *line)
{
    loglines.push_back(line);
}

struct GenTexture : ::testing::Test {
    void SetUp() override
    {
        setexprdialect(dialectvrastik);
        texscripts.genlog = recordlog;
        loglines.clear();
    }
    void TearDown() override { texscripts.genlog = nullptr; }
};

// A designer-style file with every section, its text given.
filebytes designerfile(const std::string &text)
{
    filebytes b;
    b.tag("TxQv").tag("Wgt:");
    for (int i = 0; i < 16; i++)
        b.f32(100.0f + float(i));
    b.tag("Air:").f32(-1.0f).tag("Lta:").f32(0.25f).tag("Wgt2");
    for (int i = 0; i < 12; i++)
        b.f32(float(i + 1));
    b.tag("Scal").f32(1.5f).tag("w6ol").f32(2.0f);
    b.tag("Eqat").u32(uint32_t(text.size() + 1)).text(text);
    return b;
}

int loadslot(const filebytes &b, textureslot &slot, const std::string &name = "gen.tx")
{
    std::string path = scratchpath(name);
    writebytes(path, b.v);
    return loadgentexture(path.c_str(), slot);
}

double callslot(const textureslot &slot)
{
    double args[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    return exprcall(slot.func, args, 12);
}

}   // namespace

TEST_F(GenTexture, ReadsChannelWeightsScalesAndCompiles)
{
    textureslot slot = {};
    ASSERT_EQ(loadslot(designerfile(header + "c4*100+sc"), slot), 1) << compileerror();
    for (int ch = 0; ch < 3; ch++)
        for (int g = 0; g < 4; g++)
            EXPECT_EQ(slot.channel[ch][g], float(ch * 4 + g + 1));
    EXPECT_EQ(slot.scale, 1.5f);
    EXPECT_EQ(slot.solidweight, 2.0f);
    ASSERT_NE(slot.func, nullptr);
    EXPECT_EQ(callslot(slot), 10 * 100 + 12);
    EXPECT_TRUE(loglines.empty());
}

TEST_F(GenTexture, TextIsCompiledAsStoredWithoutHeaderRepair)
{
    // Another parameter list: the generator keeps it, so "a" is argument 1.
    textureslot slot = {};
    ASSERT_EQ(loadslot(designerfile("(a,b)\na*1000+b"), slot), 1) << compileerror();
    EXPECT_EQ(callslot(slot), 1002);
}

TEST_F(GenTexture, LastSectionWinsAndUnknownTagsAreWalkedOver)
{
    filebytes b;
    b.tag("TxQv").tag("Scal").f32(1.0f).tag("Eqat").u32(uint32_t(header.size() + 2)).text(header + "1");
    b.tag("Qqqq").tag("Scal").f32(4.0f);
    b.tag("Eqat").u32(uint32_t(header.size() + 2)).text(header + "2");
    textureslot slot = {};
    ASSERT_EQ(loadslot(b, slot), 1);
    EXPECT_EQ(slot.scale, 4.0f);
    EXPECT_EQ(callslot(slot), 2.0);
}

// Each refusal says why, naming the file; only a compile failure writes the
// path to the run log first.
TEST_F(GenTexture, RefusedFilesLeaveTheSlotAlone)
{
    const std::string path = scratchpath("refused.tx");
    const std::string many = "(a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t)\nt";
    struct {
        const char *what;
        filebytes bytes;
        const char *why;    // after the path
        bool logged;
    } cases[] = {
        {"no magic", filebytes{{'T', 'X', 'Q', 'v'}}, " is not a texture script (no \"TxQv\" magic)", false},
        {"magic only", filebytes{{'T', 'x', 'Q', 'v'}}, " has no expression (\"Eqat\" section missing)", false},
        {"negative length", filebytes{}.tag("TxQv").tag("Eqat").u32(0xFFFFFFF0u).text(header + "1"),
         " is damaged: expression length -16 is outside 0..8192", false},
        {"length past the buffer", filebytes{}.tag("TxQv").tag("Eqat").u32(8193).text(header + "1"),
         " is damaged: expression length 8193 is outside 0..8192", false},
        {"does not compile", designerfile(header + "(1"), ": the expression does not compile: ERROR: Not enough ')'",
         true},
        {"empty text", filebytes{}.tag("TxQv").tag("Eqat").u32(0), ": the expression does not compile: ERROR: no function defined",
         true},
        {"twenty parameters", designerfile(many),
         ": the expression header declares 20 parameters, more than the 12 a texture is given", false},
    };
    for (auto &c : cases) {
        textureslot slot = {};
        slot.scale = 77.0f;
        loglines.clear();
        writebytes(path, c.bytes.v);
        EXPECT_EQ(loadgentexture(path.c_str(), slot), 0) << c.what;
        EXPECT_EQ(slot.scale, 77.0f) << c.what;
        EXPECT_EQ(slot.func, nullptr) << c.what;
        EXPECT_EQ(std::string(texscripts.why), path + c.why) << c.what;
        EXPECT_EQ(loglines, c.logged ? std::vector<std::string>{path + "\n"} : std::vector<std::string>{}) << c.what;
    }
    std::string dir = scratchpath("adir.tx"), fifo = scratchpath("fifo.tx");
    mkdir(dir.c_str(), 0755);
    mkfifo(fifo.c_str(), 0644);
    for (const std::string &p : {dir, fifo}) {
        textureslot slot = {};
        EXPECT_EQ(loadgentexture(p.c_str(), slot), 0);
        EXPECT_EQ(std::string(texscripts.why).rfind("cannot open " + p + ": it is a ", 0), 0u) << texscripts.why;
    }
    textureslot slot = {};
    EXPECT_EQ(loadgentexture(scratchpath("no-such-file.tx").c_str(), slot), 0);
}

TEST_F(GenTexture, TextWithoutNulAndCutFilesStillCompile)
{
    filebytes b;
    b.tag("TxQv").tag("Eqat").u32(uint32_t(header.size() + 2)).text(header + "42", false).tag("Scal").f32(3);
    textureslot slot = {};
    ASSERT_EQ(loadslot(b, slot), 1);
    EXPECT_EQ(callslot(slot), 42.0);
    EXPECT_EQ(slot.scale, 3.0f);

    filebytes cut = designerfile(header + "fn*2");
    cut.cut(1);   // the NUL is missing: the file ends inside the text
    textureslot slot2 = {};
    ASSERT_EQ(loadslot(cut, slot2), 1);
    EXPECT_EQ(callslot(slot2), 22.0);
}

// Repeated expression sections keep one compiled copy: each replaced one is
// freed, and a load that fails after compiling frees what it compiled.
TEST_F(GenTexture, RepeatedSectionsKeepOneCompiledCopy)
{
    auto sections = [](int count) {
        filebytes b;
        b.tag("TxQv");
        for (int i = 0; i < count; i++) {
            std::string text = header + std::to_string(i);
            b.tag("Eqat").u32(uint32_t(text.size() + 1)).text(text);
        }
        return b;
    };
    const int live = exprlivecode();
    textureslot slot = {};
    ASSERT_EQ(loadslot(sections(1000), slot), 1);
    EXPECT_EQ(callslot(slot), 999.0);
    EXPECT_EQ(exprlivecode(), live + 1);
    exprfree(slot.func);

    textureslot refused = {};
    EXPECT_EQ(loadslot(sections(50).tag("Eqat").u32(9000).text(header + "1"), refused), 0);
    EXPECT_EQ(exprlivecode(), live);
    EXPECT_EQ(loadslot(sections(50).tag("Eqat").u32(uint32_t(header.size() + 3)).text(header + "1+"), refused), 0);
    EXPECT_EQ(exprlivecode(), live);
    EXPECT_EQ(refused.func, nullptr);
}

// The example texture scripts: each .tx is exactly what its text source
// gives, loads into the generator and colours sensibly.
#include "compiler.h"
#include "evaluate.h"
#include "texscript.h"
#include "texsource.h"

#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

const char *const examples[] = {"ground", "rock", "moss", "crystal", "sandstone"};

std::string examplepath(const std::string &name)
{
    return std::string(EXAMPLESDIR) + "/" + name;
}

}   // namespace

TEST(Examples, CommittedBytesAreRegeneratedFromTheirSources)
{
    for (const char *name : examples) {
        texturescript s;
        char err[256] = "";
        ASSERT_EQ(readtexsource(examplepath(std::string(name) + ".txt").c_str(), s, err, sizeof err), 1)
            << name << ": " << err;
        std::string out = scratchpath(std::string(name) + ".tx");
        ASSERT_EQ(savescript(s, out.c_str()), 1) << name;
        std::vector<uint8_t> committed = readbytes(examplepath(std::string(name) + ".tx"));
        EXPECT_FALSE(committed.empty()) << name;
        EXPECT_EQ(readbytes(out), committed) << name;
    }
}

// Over typical generator arguments every channel stays finite and roughly
// within the colour range (texscale and blending only shrink it).
TEST(Examples, LoadIntoTheGeneratorAndGivePlausibleColours)
{
    setexprdialect(dialectvrastik);
    for (const char *name : examples) {
        textureslot slot = {};
        ASSERT_EQ(loadgentexture(examplepath(std::string(name) + ".tx").c_str(), slot), 1) << name;
        float lo = 1e9f, hi = -1e9f;
        for (int vx = 0; vx < 1024; vx += 197)
            for (int vz = 0; vz < 256; vz += 23)
                for (float d1 = 0; d1 < 40; d1 += 7.5f)
                    for (float fn = -3; fn <= 3; fn += 1.5f) {
                        float out[3];
                        gentexsample(slot, vx, 1023 - vx, vz, d1, d1 + 2.5f, d1 + 9.0f, fn, out);
                        for (float v : out) {
                            ASSERT_TRUE(std::isfinite(v)) << name;
                            lo = std::min(lo, v);
                            hi = std::max(hi, v);
                        }
                    }
        EXPECT_GT(lo, -80.0f) << name;
        EXPECT_LT(hi, 330.0f) << name;
        EXPECT_GT(hi - lo, 20.0f) << name;   // a texture, not a flat colour
    }
}

TEST(TexSource, KeysDefaultsAndDerivedValues)
{
    texturescript s;
    char err[256] = "";
    const char *source = "# only a few keys\n"
                         "  shape = 1  \n"
                         "groupscale = 2 3 4 5\r\n"
                         "\n"
                         "expression:\r\n"
                         "a = d1;\r\n"
                         "a*c1\n"
                         "\n\n";
    ASSERT_EQ(parsetexsource(source, s, err, sizeof err), 1) << err;
    EXPECT_EQ(std::string(s.text), std::string(exprheader) + "a = d1;\na*c1");
    EXPECT_EQ(s.shape, 1.0f);
    EXPECT_EQ(s.solidweight, 0.5f);     // from the shape, since none was given
    EXPECT_EQ(s.scale, 1.0f);
    EXPECT_EQ(s.weights[0][0], 2.2f);
    EXPECT_EQ(s.channel[0][0], 2.2f * 2.0f);
    EXPECT_EQ(s.channel[2][3], 2.0f * 5.0f);

    ASSERT_EQ(parsetexsource("solidweight = 7\nshape = 1\n", s, err, sizeof err), 1) << err;
    EXPECT_EQ(s.solidweight, 7.0f);
    EXPECT_EQ(std::string(s.text), std::string(exprheader) + defaultbody);
}

TEST(TexSource, ErrorsNameTheLine)
{
    const struct {
        const char *source, *message;
    } rows[] = {
        {"colour = 1\n", "line 1: unknown key \"colour\""},
        {"\nred = 1 2 3\n", "line 2: expected 4 numbers"},
        {"red = 1 2 3 4 5\n", "line 1: expected 4 numbers"},
        {"shape = x\n", "line 1: expected 1 number"},
        {"shape = 1e99\n", "line 1: expected 1 number"},
        {"shape = nan\n", "line 1: expected 1 number"},
        {"shape 1\n", "line 1: expected \"key = value\" or \"expression:\""},
        {"scale = 1\nscale = 2\n", "line 2: \"scale\" given twice"},
        {"expression:\n\n  \n", "line 2: empty expression"},
    };
    for (auto &r : rows) {
        texturescript s;
        char err[256] = "";
        EXPECT_EQ(parsetexsource(r.source, s, err, sizeof err), 0) << r.source;
        EXPECT_STREQ(err, r.message) << r.source;
    }
    std::string huge = "expression:\n" + std::string(8200, 'x');
    texturescript s;
    char err[256] = "";
    EXPECT_EQ(parsetexsource(huge.c_str(), s, err, sizeof err), 0);
    EXPECT_STREQ(err, "line 2: expression longer than 8153 bytes");
}

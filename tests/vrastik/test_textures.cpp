// vrastik with texture scripts: loading messages, refusals, and colours that
// come from the scripts' expressions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "generator.h"
#include "runfixture.h"
#include "mapfile.h"
#include "packcolour.h"
#include "texscript.h"

namespace fs = std::filesystem;

namespace {

class TexturedRun : public ScratchRun {
protected:
    // A script with the designer's defaults and the given body.
    static void makescript(const char *path, const char *body)
    {
        texturescript s;
        defaultscript(s);
        std::snprintf(s.text, sizeof s.text, "%s%s", exprheader, body);
        ASSERT_EQ(savescript(s, path), 1);
    }

    // Every coloured voxel of a sample of columns has this colour.
    void expectallcoloured(uint32_t colour)
    {
        mapfile map;
        mapfault fault;
        ASSERT_TRUE(loadmap("mundra.gmv", &map, &fault)) << fault.text;
        int seen = 0;
        for (uint32_t y = 0; y < 1024; y += 37)
            for (uint32_t x = 0; x < 1024; x += 41) {
                mapcolumn col;
                decodemapcolumn(map, x, y, &col);
                for (int z = 0; z < 256; z++)
                    if (col.state[z] == voxelcoloured) {
                        ASSERT_EQ(col.colour[z], colour) << x << "," << y << "," << z;
                        seen++;
                    }
            }
        EXPECT_GT(seen, 1000);
    }
};

TEST_F(TexturedRun, ConstantExpressionColoursEveryVoxel)
{
    // Blocky kinds have 32768 rocks, so texscale is exactly 1; the blend of
    // one constant over the four rocks gives the constant back to a few ulps.
    makescript("grey.tx", "100.25");
    ASSERT_EQ(run({"1", "100", "128", "grey.tx"}), 1234) << console;
    EXPECT_EQ(console.rfind("Loading textures...\n  grey.tx ok\nGenerating cave nr = 1\n", 0), 0u) << console;
    expectallcoloured(packgencolour(100.25f, 100.25f, 100.25f));

    // Several scripts with the same constant: the blend of the groups too.
    makescript("grey2.tx", "50+50.25");
    makescript("grey3.tx", "x=100.25; x");
    ASSERT_EQ(run({"9", "100", "200", "grey.tx", "grey2.tx", "grey3.tx"}), 1234) << console;
    expectallcoloured(packgencolour(100.25f, 100.25f, 100.25f));
}

TEST_F(TexturedRun, ExampleScriptsGiveAValidReproducibleCave)
{
    std::vector<std::string> words = {"3", "8192", "128"};
    for (const char *name : {"ground", "rock", "moss", "crystal", "sandstone"})
        words.push_back(std::string(EXAMPLESDIR) + "/" + name + ".tx");
    ASSERT_EQ(run(words), 1234) << console;
    mapfile first;
    mapfault fault;
    ASSERT_TRUE(loadmap("mundra.gmv", &first, &fault)) << fault.text;
    ASSERT_EQ(run(words), 1234) << console;
    mapfile second;
    ASSERT_TRUE(loadmap("mundra.gmv", &second, &fault)) << fault.text;
    EXPECT_TRUE(first.bytes == second.bytes);
    // The textures colour the cave: more than a handful of different colours.
    std::vector<uint32_t> seen;
    for (uint32_t x = 0; x < 1024 && seen.size() < 64; x += 7) {
        mapcolumn col;
        decodemapcolumn(first, x, 500, &col);
        for (int z = 0; z < 256; z++)
            if (col.state[z] == voxelcoloured && std::find(seen.begin(), seen.end(), col.colour[z]) == seen.end())
                seen.push_back(col.colour[z]);
    }
    EXPECT_GE(seen.size(), 64u);
}

TEST_F(TexturedRun, ChannelWeightsReachTheirOwnCall)
{
    // c1 of each channel: the default weight table gives each channel its own.
    texturescript s;
    defaultscript(s);
    std::snprintf(s.text, sizeof s.text, "%s%s", exprheader, "c1*0+c1");
    ASSERT_EQ(savescript(s, "c1.tx"), 1);
    ASSERT_EQ(run({"1", "100", "128", "c1.tx"}), 1234) << console;
    expectallcoloured(packgencolour(s.channel[0][0], s.channel[1][0], s.channel[2][0]));
}

// The error line stays as it was; the reason follows on the next line, on
// the console and in the log.
TEST_F(TexturedRun, ScriptsThatDoNotLoadStopTheRun)
{
    makescript("good.tx", "d1*c1+fn");
    makescript("bad.tx", "sin(");
    texturescript many;
    defaultscript(many);
    std::snprintf(many.text, sizeof many.text, "(a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t)\nt");
    ASSERT_EQ(savescript(many, "params20.tx"), 1);
    fs::create_directory("adir.tx");
    std::FILE *junk = std::fopen("junk.tx", "wb");
    std::fputs("not a script", junk);
    std::fclose(junk);
    // The console from the failing script's error line on is also what the
    // log holds after the command line, entry by entry.
    struct row {
        std::vector<std::string> words;
        std::string before, logged;
    } rows[] = {
        {{"3", "500", "128", "good.tx", "missing.tx"}, "  good.tx ok\n  missing.tx ",
         "...error loading texture missing.tx!\n\n...cannot open missing.tx: No such file or directory\n\n"},
        {{"3", "500", "128", "bad.tx"}, "  bad.tx ",
         "bad.tx\n\n...error loading texture bad.tx!\n\n"
         "...bad.tx: the expression does not compile: ERROR: Not enough ')'\n\n"},
        {{"3", "500", "128", "adir.tx"}, "  adir.tx ",
         "...error loading texture adir.tx!\n\n...cannot open adir.tx: it is a directory, not a regular file\n\n"},
        {{"3", "500", "128", "junk.tx"}, "  junk.tx ",
         "...error loading texture junk.tx!\n\n...junk.tx is not a texture script (no \"TxQv\" magic)\n\n"},
        {{"3", "4096", "128", "params20.tx"}, "  params20.tx ",
         "...error loading texture params20.tx!\n\n"
         "...params20.tx: the expression header declares 20 parameters, more than the 12 a texture is given\n\n"},
    };
    for (const row &r : rows) {
        fs::remove("vrastik.log");
        EXPECT_EQ(run(r.words), -1);
        EXPECT_EQ(console, "Loading textures...\n" + r.before + r.logged);
        EXPECT_FALSE(fs::exists("mundra.gmv"));
        std::ifstream log("vrastik.log");
        std::string entries, line;
        for (std::getline(log, line); std::getline(log, line);)
            entries += (line.empty() ? line : line.substr(20)) + "\n";   // past the time stamp
        EXPECT_EQ(entries, r.logged);
    }
}

} // namespace

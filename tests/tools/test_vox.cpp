// The .vox writer, checked by an independent reader (voxread.py: Python's
// standard library, written from the format's public description). The
// voxels it finds through the scene graph and the palette are the map's, as
// tools/mapfile decodes it, at (x, 1023 - y, 255 - z); its delta E figures,
// computed on their own, equal the writer's; bad outputs leave no file.
#include "mapbuild.h"
#include "safefile.h"
#include "vox.h"

#include "support/command.h"
#include "support/pngread.h"
#include "support/scratch.h"

#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void makemap(const std::string &name, uint32_t sizex, uint32_t sizey, const std::vector<testcolumn> &columns,
             mapfile *map)
{
    std::string path = scratchpath(name);
    writebytes(path, buildmap(sizex, sizey, columns));
    mapfault fault;
    ASSERT_TRUE(loadmap(path.c_str(), map, &fault)) << fault.text;
}

// Ground whose height changes with x and y, a floating block over every
// third column, and a coloured voxel 5 below the ground's top, so the hidden
// voxels lie under two different colours. At most 255 colours.
std::vector<testcolumn> layeredcolumns(uint32_t sizex, uint32_t sizey)
{
    std::vector<testcolumn> columns(size_t(sizex) * sizey);
    for (uint32_t y = 0; y < sizey; y++)
        for (uint32_t x = 0; x < sizex; x++) {
            testcolumn &c = columns[size_t(y) * sizex + x];
            int ground = 60 + int((x * 7 + y * 3) % 50);
            setrun(&c, 0, ground - 1, tair);
            setrun(&c, ground, 255, thidden);
            if ((x + y) % 3 == 0)
                setrun(&c, 20, 29, thidden);
            setrun(&c, ground + 5, ground + 5, tcoloured);
            makevisible(&c);
        }
    return columns;
}

// "X Y Z RRGGBB" for every voxel the file should hold, with the map's colour;
// with solid the hidden voxels take the nearest coloured voxel above.
std::string expectedvoxels(const mapfile &map, const exportregion &r, bool solid)
{
    std::string out;
    mapcolumn col;
    char line[64];
    for (uint32_t y = r.y0; y <= r.y1; y++)
        for (uint32_t x = r.x0; x <= r.x1; x++) {
            decodemapcolumn(map, x, y, &col);
            uint32_t above = 0;
            for (int z = 0; z < mapheight; z++) {
                if (col.state[z] == voxelcoloured)
                    above = col.colour[z] & 0xFFFFFF;
                if (col.state[z] == voxelcoloured || (solid && col.state[z] == voxelhidden)) {
                    std::snprintf(line, sizeof line, "%u %ld %d %06x\n", x, 1023L - y, 255 - z, above);
                    out += line;
                }
            }
        }
    return out;
}

// The reader's figures for the file against the voxels expected.
std::map<std::string, double> readvox(const std::string &vox, const mapfile &map, const exportregion &r, bool solid)
{
    std::string expected = scratchpath("expected.txt"), text = expectedvoxels(map, r, solid), out;
    writebytes(expected, std::vector<uint8_t>(text.begin(), text.end()));
    int code = runcommand(std::string(PYTHON3) + " " + VOXREAD + " '" + vox + "' '" + expected + "' 2>&1", &out);
    EXPECT_EQ(code, 0) << out;
    std::map<std::string, double> figures;
    std::istringstream lines(out);
    std::string name;
    double value;
    while (lines >> name >> value)
        figures[name] = value;
    return figures;
}

bool writefile(const mapfile &map, exportregion region, bool solid, int threads, const std::string &path,
               voxsummary *s, char *why)
{
    exportoptions options;
    options.region = region;
    options.solid = solid;
    options.threads = threads;
    return exportvox(map, options, path.c_str(), s, why, safemessagesize);
}

} // namespace

// Maps of at most 255 colours keep them exactly; a map wider or longer than
// a model becomes models of 256 columns and the rest (odd sizes, whose
// halves round down).
TEST(vox, readerfindsthemapsvoxels)
{
    SKIPWITHOUTPNGREADER();   // the python3 that runs voxread.py
    mapfile small, wide, tall;
    makemap("small.gmv", 7, 5, layeredcolumns(7, 5), &small);
    makemap("wide.gmv", 301, 3, layeredcolumns(301, 3), &wide);
    makemap("tall.gmv", 2, 259, layeredcolumns(2, 259), &tall);
    struct row {
        const char *name;
        const mapfile *map;
        exportregion region;
        bool solid;
        int models;
    };
    const row rows[] = {
        {"small map", &small, {0, 0, 6, 4}, false, 1},
        {"small region", &small, {2, 1, 5, 3}, false, 1},
        {"small map solid", &small, {0, 0, 6, 4}, true, 1},
        {"small region solid", &small, {1, 2, 1, 4}, true, 1},
        {"wide map", &wide, {0, 0, 300, 2}, false, 2},
        {"wide region across a model edge", &wide, {7, 1, 290, 2}, false, 2},
        {"tall map", &tall, {0, 0, 1, 258}, false, 2},
        {"tall region solid", &tall, {1, 200, 1, 257}, true, 1},
    };
    for (const row &r : rows) {
        std::string vox = scratchpath("out.vox");
        voxsummary s;
        char why[safemessagesize];
        ASSERT_TRUE(writefile(*r.map, r.region, r.solid, 2, vox, &s, why)) << r.name << ": " << why;
        std::map<std::string, double> f = readvox(vox, *r.map, r.region, r.solid);
        EXPECT_EQ(f["models"], r.models) << r.name;
        EXPECT_EQ(f["voxels"], double(s.voxels)) << r.name;
        EXPECT_GT(s.voxels, 0u) << r.name;
        EXPECT_EQ(f["missing"], 0) << r.name;
        EXPECT_EQ(f["extra"], 0) << r.name;
        EXPECT_EQ(f["mismatched"], 0) << r.name;
        EXPECT_EQ(s.figures.largest, 0) << r.name;
    }
}

// Random columns and colours, many more than 255, solid: every voxel takes
// its nearest entry, and the mean, largest and share within delta E 5 equal
// the reader's; one thread or two, the same bytes.
TEST(vox, palettefiguresagreewiththereaders)
{
    SKIPWITHOUTPNGREADER();   // the python3 that runs voxread.py
    std::mt19937 rng(7);
    std::vector<testcolumn> columns(36);
    for (testcolumn &c : columns)
        randomcolumn(rng, &c);
    mapfile map;
    makemap("random.gmv", 6, 6, columns, &map);
    voxsummary s, s2;
    char why[safemessagesize];
    std::string vox = scratchpath("one.vox"), vox2 = scratchpath("two.vox");
    ASSERT_TRUE(writefile(map, {0, 0, 5, 5}, true, 1, vox, &s, why)) << why;
    ASSERT_TRUE(writefile(map, {0, 0, 5, 5}, true, 2, vox2, &s2, why)) << why;
    EXPECT_EQ(readbytes(vox), readbytes(vox2));
    EXPECT_GT(s.distinct, 1000u);
    EXPECT_EQ(s.colours, palettemax);
    std::map<std::string, double> f = readvox(vox, map, {0, 0, 5, 5}, true);
    EXPECT_EQ(f["missing"] + f["extra"], 0);
    EXPECT_EQ(f["notnearest"], 0);
    EXPECT_NEAR(f["mean"], s.figures.mean, 1e-9);
    EXPECT_NEAR(f["largest"], s.figures.largest, 1e-9);
    EXPECT_NEAR(f["within5"], s.figures.within5, 1e-12);
}

// Refused, and nothing new in the folder.
TEST(vox, badoutputsleavenofile)
{
    mapfile map;
    makemap("map.gmv", 3, 2, layeredcolumns(3, 2), &map);
    std::string folder = scratchpath("folder"), scratch = folder.substr(0, folder.rfind('/'));
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    struct row {
        const char *name;
        std::string path;
        exportregion region;
        const char *message;
    };
    const row rows[] = {
        {"missing folder", scratchpath("missing/out.vox"), {0, 0, 2, 1}, "missing/out.vox: No such file"},
        {"a folder", folder, {0, 0, 2, 1}, "a directory, not a regular file"},
        {"a device", "/dev/null", {0, 0, 2, 1}, "/dev/null: it is a character device"},
        {"region outside the map", scratchpath("region.vox"), {0, 0, 3, 1}, "region 0,0,3,1 is empty or outside"},
        {"empty region", scratchpath("empty.vox"), {2, 0, 1, 1}, "region 2,0,1,1 is empty or outside"},
    };
    std::vector<std::string> before = listdir(scratch);
    for (const row &r : rows) {
        voxsummary s;
        char why[safemessagesize] = "";
        EXPECT_FALSE(writefile(map, r.region, false, 2, r.path, &s, why)) << r.name;
        EXPECT_NE(std::string(why).find(r.message), std::string::npos) << r.name << ": " << why;
    }
    // A file that cannot grow past 1000 bytes, as on a full disk (in a child, which the limit binds).
    pid_t child = fork();
    if (child == 0) {
        struct rlimit limit = {1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        voxsummary s;
        char why[safemessagesize] = "";
        bool written = writefile(map, {0, 0, 2, 1}, false, 2, scratchpath("full.vox"), &s, why);
        _exit(!written && std::strstr(why, "full.vox: File too large") ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(listdir(scratch), before);
}

// mapexport through the real program on small maps from the independent map
// builder: each .glb checked against its map by glbcheck.py, each .vox by
// voxread.py; bad input refused with the right exit status, leaving nothing.
#include "exporthelp.h"

#include <sys/stat.h>
#include <unistd.h>

// The surface, face by face with its colour, for each way of exporting; the
// same bytes whatever the number of threads (the first two rows).
TEST(mapexport, matchesmap)
{
    std::string terrainmap = testmap("terrain.gmv", terrain, 70, 20, true);
    std::string checkermap = testmap("checker.gmv", checker, 20, 70, true);
    const struct {
        const std::string *map;
        const char *options, *checkoptions;   // for mapexport, for glbcheck.py
        int primitives;                       // at least
    } rows[] = {
        {&terrainmap, "--threads 1", "", 2},
        {&terrainmap, "--threads 3", "", 2},
        {&terrainmap, "--region 3,2,66,17", "--region 3,2,66,17", 2},
        {&terrainmap, "--region 64,0,64,19", "--region 64,0,64,19", 1},   // one column wide
        {&terrainmap, "--scale 0.25 --unlit", "--scale 0.25", 2},
        {&terrainmap, "--quantize --scale 2", "--scale 2", 2},
        // A tile of more quads than a primitive takes with 16-bit indices, and a
        // tile boundary across y (the terrain has one across x).
        {&checkermap, "--threads 3", "", 2},
    };
    std::vector<std::vector<uint8_t>> files;
    for (const auto &r : rows) {
        std::string report = exportandcheck(*r.map, scratchpath("out.GLB"), r.options, r.checkoptions);   // any case
        EXPECT_GE(numbersafter(report, "primitives", 1)[0], r.primitives) << r.options << ": " << report;
        files.push_back(readbytes(scratchpath("out.GLB")));
    }
    EXPECT_TRUE(files[0] == files[1]);
}

// The voxels and their colours: fewer than 256 are kept exactly, more take
// their nearest palette entries, and mapexport's figures agree with the
// reader's; a map wider or longer than a model becomes models of 256 columns
// and the rest (odd sizes, whose halves round down); the same bytes on one
// thread or two.
TEST(mapexport, voxmatchesmap)
{
    std::string small = testmap("small.gmv", terrain, 7, 5, false), wide = testmap("wide.gmv", terrain, 301, 3, false),
                tall = testmap("tall.gmv", terrain, 2, 259, false), random = testmap("rnd.gmv", terrain, 30, 20, true);
    const struct {
        const std::string *map;
        const char *options;   // for mapexport and voxread.py
        int models;
        bool exact;            // fewer colours than a palette holds
    } rows[] = {
        {&small, "", 1, true},
        {&small, "--solid", 1, true},
        {&wide, "", 2, true},
        {&wide, "--region 7,1,290,2", 2, true},
        {&tall, "", 2, true},
        {&tall, "--region 1,200,1,257 --solid", 1, true},
        {&random, "--solid", 1, false},
    };
    for (const auto &r : rows) {
        std::string vox = scratchpath("out.vox"), two = scratchpath("two.vox"), said, twice, f;
        int code;
        said = mapexport(*r.map, vox, std::string("--threads 1 ") + r.options, &code);
        ASSERT_EQ(code, 0) << said;
        twice = mapexport(*r.map, two, std::string("--threads 2 ") + r.options, &code);
        EXPECT_TRUE(code == 0 && readbytes(vox) == readbytes(two)) << r.options << ": " << twice;
        f = run(PYTHON3 " " VOXREAD " " + shellword(*r.map) + " " + shellword(vox) + " " + r.options, &code);
        ASSERT_EQ(code, 0) << f;
        auto figure = [&](const std::string &text, const char *key) { return numbersafter(text, key, 1)[0]; };
        EXPECT_EQ(figure(f, "models "), r.models) << r.options;
        EXPECT_EQ(figure(f, "voxels "), figure(said, "models,")) << said << f;
        EXPECT_EQ(figure(f, "missing ") + figure(f, "extra ") + figure(f, "notnearest "), 0) << r.options << f;
        EXPECT_EQ(figure(f, "mismatched ") == 0, r.exact) << r.options << f;
        std::vector<double> palette = numbersafter(said, "palette:", 2);   // N colours for M
        EXPECT_EQ(palette[0], r.exact ? palette[1] : 255) << said;
        EXPECT_NEAR(figure(f, "mean "), figure(said, "ΔE mean"), 0.0051) << said << f;   // printed to two places
        EXPECT_NEAR(figure(f, "largest "), figure(said, "largest"), 0.0051) << said << f;
        EXPECT_NEAR(100 * figure(f, "within5 "), numbersafter(said, "percentile", 2)[1], 0.0051) << said << f;
    }
}

// Bad command lines (2) and failures (1): a clear message (a damaged map in
// mapview --check's words), and nothing new in the output's folder.
TEST(mapexport, badinput)
{
    std::string map = testmap("terrain.gmv", terrain, 70, 20, true), dir = scratchpath("out");
    std::vector<uint8_t> good = readbytes(map);
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    std::string prefix = MAPEXPORT " " + shellword(map) + " ", glb = " " + shellword(dir + "/out.glb");
    struct row {
        std::string command;
        int code;
        std::string says;
    };
    std::vector<row> rows = {
        {MAPEXPORT, 2, "usage: mapexport MAP.gmv OUT.glb"},
        {prefix + shellword(dir + "/out.obj"), 2, "the formats are .glb (glTF binary)"},
        {prefix + glb + " --region 0,0,70,5", 2, "not inside the map's 70 x 20 columns"},
        {prefix + glb + " --region 6,5,5,5", 2, "--region is empty"},
        {prefix + glb + " --scale 0", 2, "--scale wants a number above 0"},
        {prefix + glb + " --solid", 2, "--solid is not an option of glTF binary"},
        {MAPEXPORT " " + shellword(scratchpath("absent.gmv")) + glb, 1, "cannot open"},
    };
    std::vector<uint8_t> cut(good.begin(), good.end() - 9), badspan = good, notamap = {'h', 'i', '\n'};
    badspan[108 + 2] = 0;   // the first column's top run ends above its start
    for (const auto *bytes : {&cut, &badspan, &notamap}) {
        std::string damaged = scratchpath("damaged" + std::to_string(rows.size()) + ".gmv");
        writebytes(damaged, *bytes);
        int code;
        std::string check = run(MAPVIEW " " + shellword(damaged) + " --check", &code);
        EXPECT_EQ(code, 1) << check;
        rows.push_back({MAPEXPORT " " + shellword(damaged) + glb, 1, "mapexport: " + check});
    }
    // Outputs that cannot be written, in both formats: a link to a device, a
    // folder, a missing folder, a full disk (a limit on file sizes).
    for (std::string ext : {".glb", ".vox"}) {
        std::string folder = dir + "/folder" + ext, device = dir + "/device" + ext;
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        ASSERT_EQ(symlink("/dev/null", device.c_str()), 0);
        rows.push_back({prefix + shellword(device), 1, device + ": it is a character device, not a regular file"});
        rows.push_back({prefix + shellword(folder), 1, folder + ": it is a directory, not a regular file"});
        rows.push_back({prefix + shellword(dir + "/no/out" + ext), 1, "/no/out" + ext + ": No such file or directory"});
        rows.push_back({"ulimit -f 8; " + prefix + shellword(dir + "/o" + ext), 1, "/o" + ext + ": File too large"});
    }
    std::vector<std::string> before = listdir(dir);
    for (const row &r : rows) {
        int code;
        std::string out = run(r.command, &code);
        EXPECT_EQ(code, r.code) << r.command << ": " << out;
        EXPECT_NE(out.find(r.says), std::string::npos) << r.command << ": " << out;
        EXPECT_EQ(listdir(dir), before) << r.command;
    }
}

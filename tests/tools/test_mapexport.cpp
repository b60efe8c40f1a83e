// mapexport through the real program on small maps from the independent map
// builder: each .glb checked against its map by glbcheck.py (standard-library
// Python), by the Khronos glTF validator and by assimp; bad input refused
// with the right exit status and no file left behind.
#include "exporthelp.h"

#include "support/command.h"
#include "support/scratch.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>


// The surface, face by face with its colour, for each way of exporting.
TEST(mapexport, matchesmap)
{
    std::string terrain = writemap("terrain.gmv", terrainmap(70, 20));
    std::string checker = writemap("checker.gmv", checkermap(20, 70));
    struct row {
        const std::string *map;
        const char *options;       // for mapexport
        const char *checkoptions;  // for glbcheck.py
        int primitives;            // at least
    };
    const row rows[] = {
        {&terrain, "", "", 2},
        {&terrain, "--region 3,2,66,17", "--region 3,2,66,17", 2},
        {&terrain, "--region 64,0,64,19", "--region 64,0,64,19", 1},   // one column wide: only up and down faces
        {&terrain, "--scale 0.25 --unlit", "--scale 0.25", 2},
        {&terrain, "--quantize --scale 2 --threads 1", "--scale 2", 2},
        // A tile of more quads than a primitive takes with 16-bit indices, and a
        // tile boundary across y (the terrain has one across x).
        {&checker, "--threads 3", "", 2},
    };
    for (const row &r : rows) {
        std::string glb = scratchpath("out.GLB");   // the extension in any case
        std::string report = exportandcheck(*r.map, glb, r.options, r.checkoptions);
        EXPECT_NE(report.find("\nok\n"), std::string::npos) << r.options << ": " << report;
        EXPECT_GE(std::atoi(field(report, "primitives").c_str()), r.primitives) << r.options << ": " << report;
    }
}

// A map that is not one or is damaged is named with mapview --check's words.
TEST(mapexport, damagedmap)
{
    std::vector<uint8_t> good = terrainmap(70, 20);
    std::vector<uint8_t> cut(good.begin(), good.end() - 9), badspan = good;
    badspan[108 + 2] = 0;   // the first column's top run ends above its start
    const std::pair<const char *, std::vector<uint8_t>> rows[] = {
        {"not a map", {'h', 'e', 'l', 'l', 'o', '\n'}},
        {"cut short", cut},
        {"a span out of order", badspan},
    };
    for (const auto &[name, bytes] : rows) {
        std::string map = writemap("damaged.gmv", bytes), glb = scratchpath("damaged.glb");
        int code;
        std::string check = run(std::string(MAPVIEW) + " " + shellword(map) + " --check", &code);
        ASSERT_EQ(code, 1) << name << ": " << check;
        ASSERT_EQ(check.back(), '\n');
        std::string out = run(std::string(MAPEXPORT) + " " + shellword(map) + " " + shellword(glb), &code);
        EXPECT_EQ(code, 1) << name << ": " << out;
        EXPECT_EQ(out, "mapexport: " + check) << name;
        EXPECT_FALSE(fileexists(glb)) << name;
    }
}

// Bad command lines (2) and failures (1): a clear message, and nothing left
// in the output's folder, not even a temporary file.
TEST(mapexport, badinput)
{
    std::string map = writemap("terrain.gmv", terrainmap(70, 20));
    std::string outdir = scratchpath("out"), folder = scratchpath("folder.glb");
    ASSERT_EQ(mkdir(outdir.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    std::string device = scratchpath("device.glb");   // a link to a device: the device is not replaced
    ASSERT_EQ(symlink("/dev/null", device.c_str()), 0);
    std::string glb = shellword(outdir + "/out.glb"), prefix = std::string(MAPEXPORT) + " " + shellword(map) + " ";
    struct row {
        std::string command;
        int code;
        const char *says;
    };
    const row rows[] = {
        {MAPEXPORT, 2, "usage: mapexport MAP.gmv OUT.glb"},
        {prefix + shellword(outdir + "/out.obj"), 2, "the formats are .glb (glTF binary)"},
        {prefix + glb + " --region 0,0,70,5", 2, "not inside the map's 70 x 20 columns"},
        {prefix + glb + " --region 0,0,10,20", 2, "not inside"},
        {prefix + glb + " --region 6,5,5,5", 2, "--region is empty"},
        {prefix + glb + " --region 1,2,3", 2, "--region wants X0,Y0,X1,Y1"},
        {prefix + glb + " --region -1,0,3,3", 2, "--region wants X0,Y0,X1,Y1"},
        {prefix + glb + " --scale 0", 2, "--scale wants a number above 0"},
        {prefix + glb + " --scale", 2, "option needs a value"},
        {prefix + glb + " --solid", 2, "--solid is not an option of glTF binary"},
        {prefix + glb + " --threads 0", 2, "--threads wants"},
        {prefix + glb + " --bright", 2, "unknown option"},
        {std::string(MAPEXPORT) + " " + shellword(scratchpath("absent.gmv")) + " " + glb, 1, "cannot open"},
        {prefix + shellword(outdir + "/missing/out.glb"), 1, "/missing/out.glb: No such file or directory"},
        {prefix + shellword(device), 1, "it is a character device, not a regular file"},
        {prefix + shellword(folder), 1, "it is a directory, not a regular file"},
        // A limit on file sizes stands in for a full disk: the write fails.
        {"ulimit -f 8; " + prefix + glb, 1, "out.glb: File too large"},
    };
    for (const row &r : rows) {
        int code;
        std::string out = run(r.command, &code);
        EXPECT_EQ(code, r.code) << r.command << ": " << out;
        EXPECT_NE(out.find(r.says), std::string::npos) << r.command << ": " << out;
        std::vector<std::string> left = listdir(outdir);
        EXPECT_TRUE(left.empty()) << r.command << ": left " << left[0];
    }
}

// The same bytes whatever the number of threads.
TEST(mapexport, samebytes)
{
    std::string map = writemap("terrain.gmv", terrainmap(70, 20));
    std::vector<uint8_t> files[2];
    for (int i = 0; i < 2; i++) {
        std::string glb = scratchpath("out.glb");
        int code;
        std::string out = run(std::string(MAPEXPORT) + " " + shellword(map) + " " + shellword(glb) + " --threads " +
                                  (i ? "3" : "1"),
                              &code);
        ASSERT_EQ(code, 0) << out;
        files[i] = readbytes(glb);
    }
    EXPECT_GT(files[0].size(), 0u);
    EXPECT_TRUE(files[0] == files[1]);
}

// The mapview program on small synthetic maps: --check on planted faults,
// --stats, pictures compared pixel for pixel, the perspective view, failures.
#include "mapbuild.h"
#include "mapview.h"

#include "support/command.h"
#include "support/pngread.h"
#include "support/scratch.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string mapview(const std::string &args, int *code)
{
    std::string out;
    *code = runcommand(std::string(MAPVIEW) + " " + args + " 2>&1", &out);
    return out;
}

// Six columns: plain ground at different heights, two with a floating block.
std::vector<testcolumn> faultcolumns()
{
    std::vector<testcolumn> columns(6);
    for (int i = 0; i < 6; i++) {
        testcolumn &c = columns[i];
        setrun(&c, 0, 20 + 3 * i, tair);
        setrun(&c, 21 + 3 * i, 255, thidden);
        if (i % 2) {
            setrun(&c, 40, 49, thidden);
            setrun(&c, 50, 69, tair);
        }
        makevisible(&c);
    }
    return columns;
}

uint32_t voxelpixel(const testcolumn &c, int z)
{
    if (c.state[z] == tair)
        return airshade;
    return c.state[z] == thidden ? hiddenshade : 0xFF000000u | (c.colour[z] & 0xFFFFFF);
}

void expectpicture(const std::string &path, int width, int height, const std::vector<uint32_t> &expected)
{
    int w = 0, h = 0;
    std::vector<uint32_t> pixels;
    ASSERT_TRUE(readpng(path, &w, &h, &pixels)) << path;
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    for (size_t i = 0; i < pixels.size(); i++)
        ASSERT_EQ(pixels[i], expected[i]) << path << " pixel " << i % width << "," << i / width;
}

} // namespace

// Faults planted at known offsets are reported at that offset and column.
TEST(mapview, checkfindsplantedfaults)
{
    std::vector<testcolumn> columns = faultcolumns();
    const std::vector<uint8_t> good = buildmap(3, 2, columns);
    std::string path = scratchpath("good.gmv");
    writebytes(path, good);
    int code;
    std::string out = mapview("'" + path + "' --check", &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("good"), std::string::npos) << out;

    uint64_t col2 = columnoffset(columns, 2), col4 = columnoffset(columns, 4), col5 = columnoffset(columns, 5);
    uint64_t lastspan = col5 + 12;   // column 5: a span with two colours, then the last span
    struct planted {
        const char *name;
        std::vector<uint8_t> bytes;
        uint64_t offset;
        const char *where;
    };
    std::vector<uint8_t> cut(good.begin(), good.end() - 2);
    std::vector<uint8_t> cutcolumn(good.begin(), good.begin() + long(col4));
    std::vector<uint8_t> longspan = good;
    longspan[col5] = 200;
    std::vector<uint8_t> zrange = good;
    zrange[col2 + 2] = uint8_t(zrange[col2 + 1] - 2);
    std::vector<uint8_t> trailing = good;
    trailing.insert(trailing.end(), {0, 0, 0, 0});
    std::vector<uint8_t> magic = good;
    magic[0] = 1;
    const planted cases[] = {
        {"cut file", cut, lastspan, "column (2, 1)"},
        {"cut at a column", cutcolumn, col4, "column (1, 1)"},
        {"span length past the column", longspan, col5, "column (2, 1)"},
        {"z out of range", zrange, col2 + 2, "column (2, 0)"},
        {"trailing bytes", trailing, good.size(), "bytes after the last column"},
        {"magic", magic, 0, "magic"},
    };
    for (const planted &p : cases) {
        std::string damaged = scratchpath("damaged.gmv");
        writebytes(damaged, p.bytes);
        out = mapview("'" + damaged + "' --check", &code);
        EXPECT_EQ(code, 1) << p.name << ": " << out;
        EXPECT_NE(out.find("damaged: offset " + std::to_string(p.offset)), std::string::npos) << p.name << ": " << out;
        EXPECT_NE(out.find(p.where), std::string::npos) << p.name << ": " << out;
    }
    out = mapview("'" + scratchpath("absent.gmv") + "' --check", &code);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("cannot open"), std::string::npos) << out;
}

// The figures, counted from the columns as built.
TEST(mapview, stats)
{
    std::mt19937 rng(4);
    std::vector<testcolumn> columns(5 * 3);
    for (testcolumn &c : columns)
        randomcolumn(rng, &c);
    std::string path = scratchpath("stats.gmv");
    writebytes(path, buildmap(5, 3, columns, 2, 1, 77));
    uint64_t counts[3] = {0, 0, 0}, spans = 0;
    for (const testcolumn &c : columns) {
        for (int z = 0; z < 256; z++)
            counts[c.state[z]]++;
        std::vector<uint8_t> b = encodetest(c);
        for (size_t at = 0; at < b.size(); spans++)
            at += b[at] ? 4 * b[at] : b.size();
    }
    int code;
    std::string out = mapview("'" + path + "' --stats", &code);
    ASSERT_EQ(code, 0) << out;
    const std::pair<const char *, uint64_t> lines[] = {
        {"columns", 15}, {"spans", spans}, {"coloured voxels", counts[tcoloured]}, {"hidden solid", counts[thidden]},
        {"solid voxels", counts[thidden] + counts[tcoloured]}, {"air voxels", counts[tair]},
    };
    for (const auto &l : lines) {
        char want[100];
        std::snprintf(want, sizeof want, "%-16s %llu\n", l.first, (unsigned long long)l.second);
        EXPECT_NE(out.find(want), std::string::npos) << want << out;
    }
    char fraction[100];
    std::snprintf(fraction, sizeof fraction, "air fraction     %.6f\n", counts[tair] / (15 * 256.0));
    EXPECT_NE(out.find(fraction), std::string::npos) << fraction << out;
    EXPECT_NE(out.find("start position   2, 1, 77"), std::string::npos) << out;
    EXPECT_NE(out.find("forward          0, -1, 0"), std::string::npos) << out;
}

// The top view: each column's topmost voxel, darker with depth (full
// brightness at z = 0, half at z = 256: channel * (512 - z) / 512, rounded
// down). The expected pixels are worked out by hand from the columns below.
TEST(mapview, topviewshadesbydepth)
{
    SKIPWITHOUTPNGREADER();
    struct topcolumn {
        int z;             // topmost solid voxel (ground below it)
        uint32_t colour;   // its colour word
        uint32_t pixel;    // expected pixel
    };
    const topcolumn rows[] = {
        {0, 0x80FF8040, 0xFFFF8040},     // 512/512: the colour itself
        {255, 0x80FFFFFF, 0xFF7F7F7F},   // 255 * 257/512 = 127.99
        {128, 0x80C86432, 0xFF964B25},   // 3/4 of 200, 100, 50: 150, 75, 37.5
        {64, 0x80102030, 0xFF0E1C2A},    // 7/8 of 16, 32, 48: 14, 28, 42
        {1, 0x80010203, 0xFF000102},     // 511/512 of 1, 2, 3: 0.99, 1.99, 2.99
        {10, 0x80FFFFFF, 0xFFFAFAFA},    // a block floating over deeper ground: 255 * 502/512 = 250.02
    };
    std::vector<testcolumn> columns(6);
    std::vector<uint32_t> expected;
    for (int i = 0; i < 6; i++) {
        testcolumn &c = columns[i];
        setrun(&c, 0, rows[i].z - 1, tair);
        setrun(&c, rows[i].z, 255, thidden);
        if (i == 5)
            setrun(&c, 20, 99, tair);
        c.state[rows[i].z] = tcoloured;
        c.colour[rows[i].z] = rows[i].colour;
        makevisible(&c);
        expected.push_back(rows[i].pixel);
    }
    std::string path = scratchpath("top.gmv"), png = scratchpath("top.png");
    writebytes(path, buildmap(3, 2, columns));
    int code;
    std::string out = mapview("'" + path + "' --top '" + png + "'", &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_EQ(out.find("wrote"), 0u) << out;
    expectpicture(png, 3, 2, expected);
}

// A thumbnail (--top --size) against the full top view: source pixel x goes
// to the thumbnail column ceil((x + 1) * w / W) - 1, and each thumbnail pixel
// is the rounded mean of what went to it, channel by channel.
TEST(mapview, topthumbnailaveragesthefullview)
{
    SKIPWITHOUTPNGREADER();
    const int sx = 45, sy = 37;
    std::mt19937 rng(11);
    std::vector<testcolumn> columns(sx * sy);
    for (testcolumn &c : columns)
        randomcolumn(rng, &c);
    std::string path = scratchpath("thumb.gmv"), full = scratchpath("full.png");
    writebytes(path, buildmap(sx, sy, columns));
    int code, w = 0, h = 0;
    std::string out = mapview("'" + path + "' --top '" + full + "'", &code);
    std::vector<uint32_t> pixels;
    ASSERT_TRUE(code == 0 && readpng(full, &w, &h, &pixels)) << out;
    for (auto [tw, th] : std::vector<std::pair<int, int>>{{7, 5}, {45, 37}, {1, 1}, {44, 2}}) {
        std::vector<std::array<uint64_t, 5>> bins(size_t(tw) * th);   // four channel sums and a count
        for (int y = 0; y < sy; y++)
            for (int x = 0; x < sx; x++) {
                auto &bin = bins[size_t(((y + 1) * th + sy - 1) / sy - 1) * tw + ((x + 1) * tw + sx - 1) / sx - 1];
                for (int c = 0; c < 4; c++)
                    bin[c] += pixels[size_t(y) * sx + x] >> (8 * c) & 0xFF;
                bin[4]++;
            }
        std::vector<uint32_t> expected(bins.size());
        for (size_t i = 0; i < bins.size(); i++)
            for (int c = 0; c < 4; c++)
                expected[i] |= uint32_t((bins[i][c] + bins[i][4] / 2) / bins[i][4]) << (8 * c);
        std::string size = std::to_string(tw) + "x" + std::to_string(th), png = scratchpath("thumb" + size + ".png");
        out = mapview("'" + path + "' --top '" + png + "' --size " + size, &code);
        ASSERT_EQ(code, 0) << out;
        expectpicture(png, tw, th, expected);
    }
}

// The three slices against pictures made from the columns.
TEST(mapview, slicespixelforpixel)
{
    SKIPWITHOUTPNGREADER();
    const int sx = 7, sy = 5;
    std::mt19937 rng(12);
    std::vector<testcolumn> columns(sx * sy);
    for (testcolumn &c : columns)
        randomcolumn(rng, &c);
    std::string path = scratchpath("small.gmv");
    writebytes(path, buildmap(sx, sy, columns));
    int code;
    std::string png;

    for (int z : {0, 100, 255}) {
        std::vector<uint32_t> slice(sx * sy);
        for (int i = 0; i < sx * sy; i++)
            slice[i] = voxelpixel(columns[i], z);
        png = scratchpath("z" + std::to_string(z) + ".png");
        mapview("'" + path + "' --slice " + std::to_string(z) + " '" + png + "'", &code);
        EXPECT_EQ(code, 0);
        expectpicture(png, sx, sy, slice);
    }
    std::vector<uint32_t> slicex(sy * 256), slicey(sx * 256);
    for (int z = 0; z < 256; z++) {
        for (int y = 0; y < sy; y++)
            slicex[z * sy + y] = voxelpixel(columns[y * sx + 6], z);
        for (int x = 0; x < sx; x++)
            slicey[z * sx + x] = voxelpixel(columns[2 * sx + x], z);
    }
    png = scratchpath("x6.png");
    mapview("'" + path + "' --slice-x 6 '" + png + "'", &code);
    EXPECT_EQ(code, 0);
    expectpicture(png, sy, 256, slicex);
    png = scratchpath("y2.png");
    mapview("'" + path + "' --slice-y 2 '" + png + "'", &code);
    EXPECT_EQ(code, 0);
    expectpicture(png, sx, 256, slicey);
}

namespace {

// A room for the perspective view, 40 x 32 columns: a red wall from x = 30
// on, a blue wall at y <= 2, a green floor from z = 200; air elsewhere.
// Every solid voxel beside air (in the map) is coloured with its material.
std::vector<testcolumn> roomcolumns()
{
    auto material = [](int x, int y, int z) -> uint32_t {
        if (x < 0 || x >= 40 || y < 0 || y >= 32)
            return 1;   // outside: solid
        if (x >= 30)
            return 0x80C00000;
        if (y <= 2)
            return 0x800000C0;
        return z >= 200 ? 0x8000C000 : 0;
    };
    std::vector<testcolumn> columns(40 * 32);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 40; x++) {
            testcolumn &c = columns[y * 40 + x];
            for (int z = 0; z < 256; z++) {
                uint32_t m = material(x, y, z);
                bool besideair = !material(x - 1, y, z) || !material(x + 1, y, z) || !material(x, y - 1, z) ||
                                 !material(x, y + 1, z) || (z > 0 && !material(x, y, z - 1)) || z == 0 ||
                                 (z < 255 && !material(x, y, z + 1));
                c.state[z] = !m ? tair : besideair ? tcoloured : thidden;
                c.colour[z] = c.state[z] == tcoloured ? m : 0;
            }
        }
    return columns;
}

bool reddish(uint32_t p)
{
    uint32_t r = p >> 16 & 255, g = p >> 8 & 255, b = p & 255;
    return r > 40 && r > 3 * g && r > 3 * b;
}

bool greenish(uint32_t p)
{
    uint32_t r = p >> 16 & 255, g = p >> 8 & 255, b = p & 255;
    return g > 40 && g > 3 * r && g > 3 * b;
}

bool bluish(uint32_t p)
{
    uint32_t r = p >> 16 & 255, g = p >> 8 & 255, b = p & 255;
    return b > 40 && b > 3 * r && b > 3 * g;
}

} // namespace

// Rays meet the walls and the floor where the camera's geometry says they
// must; nearer surfaces are brighter; rays that leave through the top show the fog.
TEST(mapview, perspectiveview)
{
    SKIPWITHOUTPNGREADER();
    std::string path = scratchpath("room.gmv");
    writebytes(path, buildmap(40, 32, roomcolumns(), 10, 16, 190));
    auto render = [&](const std::string &options, std::vector<uint32_t> *pixels) {
        std::string png = scratchpath("view.png");
        int code, w, h;
        std::string out = mapview("'" + path + "' --view '" + png + "' --size 64x48 " + options, &code);
        ASSERT_EQ(code, 0) << out;
        ASSERT_TRUE(readpng(png, &w, &h, pixels));
        ASSERT_EQ(w, 64);
        ASSERT_EQ(h, 48);
    };
    auto at = [](const std::vector<uint32_t> &p, int x, int y) { return p[y * 64 + x]; };
    std::vector<uint32_t> east, far, west, start;
    render("--from 10.5,16.5,190.5 --look 90,0", &east);
    EXPECT_TRUE(reddish(at(east, 32, 24))) << std::hex << at(east, 32, 24);   // the wall ahead
    EXPECT_TRUE(reddish(at(east, 32, 0))) << std::hex << at(east, 32, 0);     // it reaches up to z = 0
    EXPECT_TRUE(greenish(at(east, 32, 47))) << std::hex << at(east, 32, 47);  // the floor below
    render("--from 2.5,16.5,190.5 --look 90,0", &far);
    EXPECT_TRUE(reddish(at(far, 32, 24)));
    EXPECT_GT(at(east, 32, 24) >> 16 & 255, at(far, 32, 24) >> 16 & 255);
    // The map's side at x = 0 stands as a grey wall; straight up is the open top.
    render("--from 10.5,16.5,150.5 --look -90,0", &west);
    uint32_t side = at(west, 32, 24);
    EXPECT_TRUE((side >> 16 & 255) == (side & 255) && (side >> 8 & 255) == (side & 255) && side != 0xFF101018u)
        << std::hex << side;
    render("--from 10.5,16.5,150.5 --look 0,90", &west);
    EXPECT_EQ(at(west, 32, 24), 0xFF101018u);
    render("--from -20,16.5,190.5 --look 90,0", &far);   // from outside the map, in through its side
    EXPECT_TRUE(reddish(at(far, 32, 24))) << std::hex << at(far, 32, 24);
    // From above the ground beyond the side y = 32: that ground near below, the room beyond.
    render("--from 20.5,40.5,-10.5 --look 0,-30", &far);
    uint32_t ground = at(far, 32, 47);
    EXPECT_TRUE((ground >> 16 & 255) == (ground & 255) && ground != 0xFF101018u) << std::hex << ground;
    EXPECT_TRUE(bluish(at(far, 32, 24))) << std::hex << at(far, 32, 24);
    render("", &start);   // the header: from (10, 16, 190) toward -y, the blue wall
    EXPECT_TRUE(bluish(at(start, 32, 24))) << std::hex << at(start, 32, 24);
    EXPECT_TRUE(greenish(at(start, 32, 47))) << std::hex << at(start, 32, 47);
    render("--look 0,-60", &start);   // steeply down: floor everywhere in the middle
    EXPECT_TRUE(greenish(at(start, 32, 24))) << std::hex << at(start, 32, 24);
}

// Bad command lines give the usage or a message; a picture that cannot be
// written leaves no file.
TEST(mapview, failures)
{
    std::vector<testcolumn> columns = faultcolumns();
    std::string path = scratchpath("map.gmv");
    writebytes(path, buildmap(3, 2, columns));
    struct badcase {
        std::string args;
        int code;
        std::string says;
    };
    std::string dir = scratchpath("nodir"), fifo = scratchpath("fifo"), taken = scratchpath("taken.png");
    mkfifo(fifo.c_str(), 0644);
    mkdir(taken.c_str(), 0755);
    const badcase cases[] = {
        {"", 2, "usage"},
        {"'" + path + "'", 2, "usage"},
        {"'" + path + "' --top", 2, "usage"},
        {"'" + path + "' --bogus x.png", 2, "usage"},
        {"'" + path + "' --slice 1x " + dir + "/a.png", 2, "not a whole number"},
        {"'" + path + "' --slice 256 " + dir + "/a.png", 1, "outside 0..255"},
        {"'" + path + "' --slice-x 3 " + dir + "/a.png", 1, "outside 0..2"},
        {"'" + path + "' --slice-y -1 " + dir + "/a.png", 1, "outside 0..1"},
        {"'" + path + "' --view " + dir + "/a.png --size 0x4", 2, "--size"},
        {"'" + path + "' --view " + dir + "/a.png --size 9000x4", 2, "--size"},
        {"'" + path + "' --view " + dir + "/a.png --from 1,2", 2, "--from"},
        {"'" + path + "' --view " + dir + "/a.png --look 1,nan", 2, "--look"},
        {"'" + path + "' --view " + dir + "/a.png --fov 180", 2, "--fov"},
        {"'" + path + "' --view " + dir + "/a.png --from 1e300,0,0", 2, "too far"},
        {"'" + path + "' --view " + dir + "/a.png --size", 2, "needs a value"},
        {"'" + path + "' --top " + dir + "/a.png", 1, "cannot create"},
        {"'" + path + "' --top " + dir + "/a.png --size 4x2", 2, "larger than the map's 3 x 2"},
        {"'" + path + "' --view " + dir + "/a.png --size 8x8", 1, "cannot create"},
        {"'" + scratchpath("absent.gmv") + "' --top x.png", 1, "cannot open"},
        // Outputs that are not regular files are never replaced; inputs that
        // are not regular files are not read.
        {"'" + path + "' --top " + fifo, 1, "cannot write " + fifo + ": it is a FIFO, not a regular file"},
        {"'" + path + "' --top " + taken, 1, "cannot write " + taken + ": it is a directory, not a regular file"},
        {"/dev/zero --check", 1, "damaged: cannot open /dev/zero: it is a character device, not a regular file"},
        {fifo + " --stats", 1, "cannot open " + fifo + ": it is a FIFO, not a regular file"},
    };
    for (const badcase &c : cases) {
        int code;
        std::string out = mapview(c.args, &code);
        EXPECT_EQ(code, c.code) << c.args << ": " << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << c.args << ": " << out;
    }
    EXPECT_FALSE(fileexists(dir));
    EXPECT_FALSE(fileexists("x.png"));
    struct stat st;
    EXPECT_TRUE(stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_TRUE(stat(taken.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

namespace {

// The plain voxel-by-voxel walk, without the empty-block jumps, as a reference.
rayhit referenceray(const solidtable &t, const double o[3], const double d[3])
{
    long cell[3], step[3];
    double next[3], delta[3];
    for (int i = 0; i < 3; i++) {
        cell[i] = long(std::floor(o[i]));
        step[i] = d[i] < 0 ? -1 : 1;
        delta[i] = d[i] != 0 ? std::fabs(1 / d[i]) : INFINITY;
        next[i] = d[i] != 0 ? ((d[i] < 0 ? cell[i] : cell[i] + 1) - o[i]) / d[i] : INFINITY;
    }
    rayhit r = {};
    // A camera in the ground beyond the sides sees through it up to the map.
    bool inground = o[2] >= 0 && (cell[0] < 0 || cell[0] >= t.size[0] || cell[1] < 0 || cell[1] >= t.size[1]);
    for (int n = 0; n < 100000; n++) {
        if (cell[2] < 0 && d[2] <= 0)
            return r;
        bool outside = cell[0] < 0 || cell[0] >= t.size[0] || cell[1] < 0 || cell[1] >= t.size[1];
        inground = inground && outside;
        bool solid = !inground && cell[2] >= 0 && (outside || cell[2] >= 256 ||
                                      (t.bits[(cell[1] * t.size[0] + cell[0]) * 4 + cell[2] / 64] >> (cell[2] % 64) & 1));
        if (solid) {
            r.hit = true;
            r.edge = outside;
            std::copy(cell, cell + 3, r.voxel);
            return r;
        }
        int a = next[0] < next[1] ? (next[0] < next[2] ? 0 : 2) : (next[1] < next[2] ? 1 : 2);
        r.axis = a;
        r.distance = next[a];
        cell[a] += step[a];
        next[a] += delta[a];
    }
    return r;
}

} // namespace

// The ray walk that jumps over empty blocks meets the same voxel, through the
// same face, as the plain walk, for cameras inside, above and beside the map.
TEST(mapview, rayjumpsmatchplainwalk)
{
    const int sx = 45, sy = 37;   // not multiples of the block size
    std::mt19937 rng(8);
    std::vector<testcolumn> columns(sx * sy);
    std::uniform_real_distribution<double> unit(0, 1);
    // Sparse floating blobs over a floor at z = 230.
    std::vector<std::array<double, 4>> blobs(40);
    for (auto &b : blobs)
        b = {unit(rng) * sx, unit(rng) * sy, unit(rng) * 220, 2 + unit(rng) * 5};
    for (int y = 0; y < sy; y++)
        for (int x = 0; x < sx; x++) {
            testcolumn &c = columns[y * sx + x];
            for (int z = 0; z < 256; z++) {
                bool solid = z >= 230;
                for (const auto &b : blobs)
                    solid = solid || (x - b[0]) * (x - b[0]) + (y - b[1]) * (y - b[1]) + (z - b[2]) * (z - b[2]) < b[3] * b[3];
                c.state[z] = solid ? thidden : tair;
                c.colour[z] = 0;
            }
            makevisible(&c);
        }
    mapfile map;
    map.bytes = buildmap(sx, sy, columns);
    mapfault fault;
    ASSERT_TRUE(checkmap(&map, &fault)) << fault.text;
    solidtable table;
    buildsolid(map, &table);
    int hits = 0, differ = 0;
    for (int n = 0; n < 20000; n++) {
        double o[3], d[3];
        int kind = n % 4;   // inside, above, beside in the ground, beside above it
        o[0] = kind >= 2 ? -5 - 40 * unit(rng) : unit(rng) * sx;
        o[1] = unit(rng) * sy;
        o[2] = kind == 1 || kind == 3 ? -1 - 50 * unit(rng) : unit(rng) * 225;
        std::normal_distribution<double> g;
        double len = 0;
        for (double &v : d) {
            v = g(rng);
            len += v * v;
        }
        for (double &v : d)
            v /= std::sqrt(len);
        if (kind == 0 && table.bits[(long(o[1]) * sx + long(o[0])) * 4 + long(o[2]) / 64] >> (long(o[2]) % 64) & 1)
            continue;   // the camera inside rock
        rayhit want = referenceray(table, o, d), got = castray(table, o, d);
        if (!want.hit && got.hit) {   // ground met far beyond the reference's 100000 steps
            EXPECT_GT(got.distance, 30000) << n;
            continue;
        }
        ASSERT_EQ(got.hit, want.hit) << n;
        if (!want.hit)
            continue;
        hits++;
        // Through a corner the two walks may enter different cells of equal distance.
        bool same = std::equal(want.voxel, want.voxel + 3, got.voxel) && want.axis == got.axis;
        if (!same) {
            differ++;
            EXPECT_NEAR(got.distance, want.distance, 1e-6) << n;
        } else if (kind != 2) {   // the reference counts no distance through the ground
            EXPECT_NEAR(got.distance, want.distance, 1e-6) << n;
        }
    }
    EXPECT_GT(hits, 10000);
    EXPECT_LT(differ, 5);
}

namespace {

// The progress lines of a long piece of work, with standard error on fd.
void drawprogress(int fd)
{
    std::fflush(stderr);
    int saved = dup(STDERR_FILENO);
    dup2(fd, STDERR_FILENO);
    progress bar;
    startprogress(&bar, "view");
    bar.started -= 10;   // as if the work had run for a while
    showprogress(&bar, 1, 2);
    endprogress(&bar);
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
}

// What arrives at fd until `last` has arrived or nothing came for 5 s (a
// terminal passes its bytes on a moment after they are written).
std::string arrived(int fd, const std::string &last)
{
    std::string out;
    pollfd p = {fd, POLLIN, 0};
    char buffer[256];
    while (out.find(last) == std::string::npos && poll(&p, 1, 5000) > 0) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        out.append(buffer, size_t(got));
    }
    return out;
}

} // namespace

// Progress is drawn on a terminal only: a pipe or a log file gets none.
TEST(mapview, progressonlyonaterminal)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    drawprogress(terminal);
    std::string shown = arrived(master, "100 %");
    EXPECT_NE(shown.find("\rview:  50 %"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\rview: 100 %"), std::string::npos) << shown;
    close(terminal);
    close(master);

    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    drawprogress(ends[1]);
    close(ends[1]);
    EXPECT_EQ(arrived(ends[0], "100 %"), "");
    close(ends[0]);
}

// The map reader: hand-made columns, round trips through a second encoder,
// faults at known offsets, and hostile bytes.
#include "mapbuild.h"
#include "mapfile.h"

#include "support/scratch.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A run of equal voxels in an expected column.
struct run {
    int from, to;
    uint8_t state;
};

struct columncase {
    const char *name;
    std::vector<uint8_t> bytes;   // colour words are written as one marker byte, see expand()
    std::vector<run> runs;
};

// Turns the case's bytes into file bytes: every 4-byte span header stays,
// every colour is given as "C, z" and becomes colourof(z).
std::vector<uint8_t> expand(const std::vector<uint8_t> &layout)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < layout.size();) {
        if (layout[i] == 'C') {
            uint32_t c = colourof(layout[i + 1]);
            for (int k = 0; k < 4; k++)
                out.push_back(uint8_t(c >> 8 * k));
            i += 2;
        } else {
            size_t n = std::min<size_t>(4, layout.size() - i);
            out.insert(out.end(), layout.begin() + long(i), layout.begin() + long(i + n));
            i += n;
        }
    }
    return out;
}

void expectcolumn(const mapcolumn &col, const std::vector<run> &runs, const char *name)
{
    int z = 0;
    for (const run &r : runs) {
        ASSERT_EQ(r.from, z) << name;
        for (; z <= r.to; z++) {
            ASSERT_EQ(col.state[z], r.state) << name << " z " << z;
            if (r.state == voxelcoloured) {
                ASSERT_EQ(col.colour[z], colourof(z)) << name << " z " << z;
            }
        }
    }
    ASSERT_EQ(z, 256) << name;
}

std::vector<uint8_t> colourwords(int from, int to)
{
    std::vector<uint8_t> out;
    for (int z = from; z <= to; z++) {
        out.push_back('C');
        out.push_back(uint8_t(z));
    }
    return out;
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

// The writer's documented column shapes, written out byte by byte.
TEST(mapfile, decodeshandmadecolumns)
{
    const uint8_t A = voxelair, H = voxelhidden, K = voxelcoloured;
    const columncase cases[] = {
        {"solid from the top", {0, 0, 0, 0, 'C', 0}, {{0, 0, K}, {1, 255, H}}},
        {"air above z 100", {0, 100, 100, 0, 'C', 100}, {{0, 99, A}, {100, 100, K}, {101, 255, H}}},
        {"floating block",
         {3, 50, 50, 0, 'C', 50, 'C', 59, 0, 100, 100, 60, 'C', 100},
         {{0, 49, A}, {50, 50, K}, {51, 58, H}, {59, 59, K}, {60, 99, A}, {100, 100, K}, {101, 255, H}}},
        {"exposed beside a deeper neighbour", concat({{0, 30, 39, 0}, colourwords(30, 39)}),
         {{0, 29, A}, {30, 39, K}, {40, 255, H}}},
        // 255 visible voxels: 254 in the first span, the rest in a further span with no air gap.
        {"further span without a gap", concat({{255, 0, 253, 0}, colourwords(0, 253), {0, 254, 254, 254, 'C', 254}}),
         {{0, 254, K}, {255, 255, H}}},
        // A further span inside the bottom colours of a span.
        {"split bottom colours",
         concat({{5, 10, 10, 0}, colourwords(10, 10), colourwords(17, 19), {2, 20, 20, 20}, colourwords(20, 20),
                 {0, 40, 40, 21}, colourwords(40, 40)}),
         {{0, 9, A}, {10, 10, K}, {11, 16, H}, {17, 20, K}, {21, 39, A}, {40, 40, K}, {41, 255, H}}},
        // The last span may hold no colour when it starts at a hidden voxel.
        {"empty last span", {2, 5, 5, 0, 'C', 5, 0, 9, 8, 9}, {{0, 4, A}, {5, 5, K}, {6, 255, H}}},
        {"colours down to the bottom", concat({{0, 200, 255, 0}, colourwords(200, 255)}), {{0, 199, A}, {200, 255, K}}},
    };
    for (const columncase &c : cases) {
        std::vector<uint8_t> bytes = expand(c.bytes);
        mapcolumn col;
        mapfault fault;
        ASSERT_EQ(decodecolumn(bytes.data(), bytes.size(), &col, &fault), long(bytes.size())) << c.name << ": "
                                                                                               << fault.text;
        expectcolumn(col, c.runs, c.name);
        // The quick queries agree with the full decode.
        uint64_t solid[4];
        columnsolid(bytes.data(), bytes.size(), solid);
        for (int z = 0; z < 256; z++) {
            uint32_t colour = 0;
            ASSERT_EQ(columnvoxel(bytes.data(), bytes.size(), z, &colour), col.state[z]) << c.name << " z " << z;
            if (col.state[z] == voxelcoloured) {
                ASSERT_EQ(colour, col.colour[z]);
            }
            ASSERT_EQ(bool(solid[z / 64] >> (z % 64) & 1), col.state[z] != voxelair) << c.name << " z " << z;
        }
    }
}

// Random columns through the test encoder come back voxel for voxel, and the
// decoder consumes exactly the column (a following column is not touched).
TEST(mapfile, randomcolumnsroundtrip)
{
    std::mt19937 rng(7);
    for (int n = 0; n < 3000; n++) {
        testcolumn c;
        randomcolumn(rng, &c);
        std::vector<uint8_t> bytes = encodetest(c);
        size_t used = bytes.size();
        bytes.insert(bytes.end(), {9, 9, 9, 9});
        mapcolumn col;
        mapfault fault;
        ASSERT_EQ(decodecolumn(bytes.data(), bytes.size(), &col, &fault), long(used)) << n << ": " << fault.text;
        int colours = 0;
        for (int z = 0; z < 256; z++) {
            ASSERT_EQ(col.state[z], c.state[z]) << "column " << n << " z " << z;
            if (c.state[z] == tcoloured) {
                ASSERT_EQ(col.colour[z], c.colour[z]) << "column " << n << " z " << z;
                colours++;
            }
            uint32_t colour = 0;
            ASSERT_EQ(columnvoxel(bytes.data(), used, z, &colour), c.state[z]);
        }
        ASSERT_EQ(col.colours, colours);
    }
}

// Faults inside one column: the kind and the offset of the field at fault.
TEST(mapfile, columnfaults)
{
    struct faultcase {
        const char *name;
        std::vector<uint8_t> bytes;
        mapfaultkind kind;
        uint64_t offset;
    };
    const faultcase cases[] = {
        {"nothing", {}, mapfaulttruncated, 0},
        {"half a header", {0, 0}, mapfaulttruncated, 0},
        {"colour cut", {0, 0, 0, 0, 'C', 0}, mapfaulttruncated, 0},   // the last byte is cut below
        {"second span missing", {2, 0, 0, 0, 'C', 0}, mapfaulttruncated, 8},
        {"top end above top start", {0, 10, 8, 0}, mapfaultz, 2},
        {"air start below top start", {2, 10, 10, 0, 'C', 10, 0, 20, 20, 21, 'C', 20}, mapfaultz, 11},
        {"first air start not 0", {0, 10, 10, 3, 'C', 10}, mapfaultz, 3},
        {"span shorter than its top run", {2, 10, 11, 0, 'C', 10, 'C', 11, 0, 20, 20, 15, 'C', 20}, mapfaultspan, 0},
        {"bottom colours reach into the top run", {3, 10, 10, 0, 'C', 10, 'C', 11, 0, 20, 20, 11, 'C', 20},
         mapfaultz, 15},
        {"next span above the last one", {2, 10, 10, 0, 'C', 10, 0, 5, 5, 5, 'C', 5}, mapfaultz, 11},
        {"more bottom colours than z left", {3, 254, 254, 0, 'C', 254, 'C', 255}, mapfaultz, 0},
        {"top run to z 255 in a middle span", {2, 255, 255, 0, 'C', 255}, mapfaultz, 0},
        {"top voxel without colour", {0, 10, 9, 0}, mapfaultuncoloured, 2},
        {"no colour above a gap", {1, 10, 9, 0}, mapfaultuncoloured, 2},
        {"no colour above a gap, later span", {2, 10, 10, 0, 'C', 10, 0, 20, 20, 12, 'C', 20}, mapfaultuncoloured, 11},
        {"no colour below a gap", {2, 10, 10, 0, 'C', 10, 0, 20, 19, 11}, mapfaultuncoloured, 10},
        // An empty span without an air gap makes no progress: without this
        // fault a column could go on for ever.
        {"span no lower than the one above", {2, 10, 10, 0, 'C', 10, 1, 11, 10, 11, 0, 11, 11, 11, 'C', 11}, mapfaultz,
         13},
    };
    for (const faultcase &c : cases) {
        std::vector<uint8_t> bytes = expand(c.bytes);
        if (!std::strcmp(c.name, "colour cut"))
            bytes.pop_back();
        mapfault fault;
        EXPECT_EQ(decodecolumn(bytes.data(), bytes.size(), nullptr, &fault), -1) << c.name;
        EXPECT_EQ(fault.kind, c.kind) << c.name << ": " << fault.text;
        EXPECT_EQ(fault.offset, c.offset) << c.name << ": " << fault.text;
        EXPECT_GT(std::strlen(fault.text), 10u) << c.name;
    }
}

namespace {

std::vector<testcolumn> randommap(uint32_t sizex, uint32_t sizey, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<testcolumn> columns(size_t(sizex) * sizey);
    for (testcolumn &c : columns)
        randomcolumn(rng, &c);
    return columns;
}

void setf64(std::vector<uint8_t> &bytes, size_t at, double d)
{
    std::memcpy(&bytes[at], &d, 8);
}

} // namespace

// Whole maps of several shapes load, and every column decodes to what was built.
TEST(mapfile, wholemaps)
{
    const uint32_t shapes[][2] = {{1, 1}, {5, 1}, {1, 7}, {6, 4}};
    for (const auto &s : shapes) {
        std::vector<testcolumn> columns = randommap(s[0], s[1], s[0] * 10 + s[1]);
        mapfile map;
        map.bytes = buildmap(s[0], s[1], columns, 3, 1, 200);
        mapfault fault;
        ASSERT_TRUE(checkmap(&map, &fault)) << fault.text;
        EXPECT_EQ(map.header.sizex, s[0]);
        EXPECT_EQ(map.header.sizey, s[1]);
        EXPECT_EQ(map.header.start[2], 200);
        ASSERT_EQ(map.offsets.size(), columns.size() + 1);
        for (uint32_t y = 0; y < s[1]; y++)
            for (uint32_t x = 0; x < s[0]; x++) {
                size_t i = y * s[0] + x;
                EXPECT_EQ(map.offsets[i], columnoffset(columns, i));
                mapcolumn col;
                decodemapcolumn(map, x, y, &col);
                for (int z = 0; z < 256; z++)
                    ASSERT_EQ(col.state[z], columns[i].state[z]) << x << "," << y << " z " << z;
            }
    }
}

// Header faults and whole-file faults: kind, offset and column.
TEST(mapfile, filefaults)
{
    std::vector<testcolumn> columns = randommap(3, 2, 5);
    const std::vector<uint8_t> good = buildmap(3, 2, columns);
    uint64_t last = columnoffset(columns, 5);
    struct filecase {
        const char *name;
        void (*change)(std::vector<uint8_t> &);
        mapfaultkind kind;
        uint64_t offset;   // ~0: the file length before the change
        long x, y;
    };
    const filecase cases[] = {
        {"short header", [](std::vector<uint8_t> &b) { b.resize(100); }, mapfaultheader, 100, -1, -1},
        {"magic", [](std::vector<uint8_t> &b) { b[3] = 0x0A; }, mapfaultmagic, 0, -1, -1},
        {"size x 0", [](std::vector<uint8_t> &b) { std::memset(&b[4], 0, 4); }, mapfaultsize, 4, -1, -1},
        {"size y huge", [](std::vector<uint8_t> &b) { std::memset(&b[8], 0xFF, 4); }, mapfaultsize, 8, -1, -1},
        {"more columns than a map has", [](std::vector<uint8_t> &b) { b[5] = 0x40, b[9] = 0x40; }, mapfaultsize, 8,
         -1, -1},   // 16387 x 16386
        {"longer than any map of its size", [](std::vector<uint8_t> &b) { b.resize(mapmaxbytes(6) + 1); },
         mapfaultlength, mapmaxbytes(6), -1, -1},
        {"start not finite", [](std::vector<uint8_t> &b) { setf64(b, 20, NAN); }, mapfaultstart, 12, -1, -1},
        {"right vector long", [](std::vector<uint8_t> &b) { setf64(b, 36, 2); }, mapfaultframe, 36, -1, -1},
        {"down along right", [](std::vector<uint8_t> &b) { setf64(b, 60, 1), setf64(b, 76, 0); }, mapfaultframe, 60,
         -1, -1},
        {"forward reversed", [](std::vector<uint8_t> &b) { setf64(b, 92, 1); }, mapfaultframe, 84, -1, -1},
        {"more columns than the file holds", [](std::vector<uint8_t> &b) { b[4] = 4; }, mapfaulttruncated, ~0ull, 2, 1},
        {"trailing bytes", [](std::vector<uint8_t> &b) { b.insert(b.end(), {1, 2, 3}); }, mapfaulttrailing, ~0ull, -1,
         -1},
    };
    for (const filecase &c : cases) {
        mapfile map;
        map.bytes = good;
        c.change(map.bytes);
        mapfault fault;
        ASSERT_FALSE(checkmap(&map, &fault)) << c.name;
        EXPECT_EQ(fault.kind, c.kind) << c.name << ": " << fault.text;
        EXPECT_EQ(fault.offset, c.offset == ~0ull ? good.size() : c.offset) << c.name << ": " << fault.text;
        EXPECT_EQ(fault.x, c.x) << c.name;
        EXPECT_EQ(fault.y, c.y) << c.name;
        EXPECT_TRUE(map.offsets.empty()) << c.name;
    }
    // A cut inside the last column points at the span whose colours are cut.
    mapfile map;
    map.bytes = good;
    map.bytes.pop_back();
    mapfault fault;
    ASSERT_FALSE(checkmap(&map, &fault));
    EXPECT_EQ(fault.kind, mapfaulttruncated);
    EXPECT_GE(fault.offset, last);
    EXPECT_EQ(fault.x, 2);
    EXPECT_EQ(fault.y, 1);
    char text[300];
    formatfault(fault, text, sizeof text);
    EXPECT_EQ(std::strncmp(text, ("offset " + std::to_string(fault.offset) + ", column (2, 1): ").c_str(),
                           20 + std::to_string(fault.offset).size()),
              0)
        << text;
}

// Reading stops at the longest valid map of the header's size, and only
// regular files are read: a FIFO, a device or a directory is refused at once.
TEST(mapfile, loadmapreadsonlywhatamapcanhold)
{
    std::string path = scratchpath("long.gmv");
    writebytes(path, buildmap(2, 2, randommap(2, 2, 3)));
    ASSERT_EQ(truncate(path.c_str(), 1 << 26), 0);   // a sparse tail of 64 MB
    mapfile map;
    mapfault fault;
    ASSERT_FALSE(loadmap(path.c_str(), &map, &fault));
    EXPECT_EQ(fault.kind, mapfaultlength) << fault.text;
    EXPECT_EQ(map.bytes.size(), mapmaxbytes(4) + 1);
    EXPECT_EQ(mapmaxbytes(mapmaxcolumns), 2147483756u);

    std::string fifo = scratchpath("fifo.gmv"), dir = scratchpath("dir.gmv");
    mkfifo(fifo.c_str(), 0644);
    mkdir(dir.c_str(), 0755);
    const struct {
        std::string path, text;
    } rows[] = {
        {fifo, "cannot open " + fifo + ": it is a FIFO, not a regular file"},
        {dir, "cannot open " + dir + ": it is a directory, not a regular file"},
        {"/dev/zero", "cannot open /dev/zero: it is a character device, not a regular file"},
    };
    for (const auto &r : rows) {
        ASSERT_FALSE(loadmap(r.path.c_str(), &map, &fault));
        EXPECT_EQ(fault.kind, mapfaultfile);
        EXPECT_EQ(std::string(fault.text), r.text);
    }
}

// Every prefix and thousands of damaged copies of a map are read without a
// crash or a read out of bounds (run under AddressSanitizer), and a reported
// fault always lies inside the file.
TEST(mapfile, hostilebytes)
{
    std::vector<testcolumn> columns = randommap(4, 3, 11);
    const std::vector<uint8_t> good = buildmap(4, 3, columns);
    for (size_t n = 0; n < good.size(); n++) {
        mapfile map;
        map.bytes.assign(good.begin(), good.begin() + long(n));
        map.bytes.shrink_to_fit();
        mapfault fault;
        ASSERT_FALSE(checkmap(&map, &fault)) << n;
        ASSERT_LE(fault.offset, n);
    }
    std::mt19937 rng(3);
    for (int n = 0; n < 3000; n++) {
        mapfile map;
        map.bytes = good;
        int flips = 1 + int(rng() % 4);
        for (int k = 0; k < flips; k++)
            map.bytes[108 + rng() % (good.size() - 108)] = uint8_t(rng());
        mapfault fault;
        if (checkmap(&map, &fault)) {
            mapcolumn col;
            for (uint32_t y = 0; y < 3; y++)
                for (uint32_t x = 0; x < 4; x++)
                    decodemapcolumn(map, x, y, &col);
        } else {
            ASSERT_LT(fault.offset, map.bytes.size() + 1);
        }
    }
    for (int n = 0; n < 2000; n++) {
        std::vector<uint8_t> junk(rng() % 600);
        for (uint8_t &b : junk)
            b = uint8_t(rng());
        mapcolumn col;
        mapfault fault;
        long used = decodecolumn(junk.data(), junk.size(), &col, &fault);
        ASSERT_TRUE(used == -1 || (used > 0 && size_t(used) <= junk.size()));
    }
}

TEST(mapfile, missingfile)
{
    mapfile map;
    mapfault fault;
    EXPECT_FALSE(loadmap("/nonexistent/dir/mundra.gmv", &map, &fault));
    EXPECT_EQ(fault.kind, mapfaultfile);
    EXPECT_NE(std::strstr(fault.text, "/nonexistent/dir/mundra.gmv"), nullptr);
}

TEST(mapfile, loadsfromdisk)
{
    std::vector<testcolumn> columns = randommap(2, 2, 1);
    std::vector<uint8_t> bytes = buildmap(2, 2, columns);
    std::string path = scratchpath("map.gmv");
    writebytes(path, bytes);
    mapfile map;
    mapfault fault;
    ASSERT_TRUE(loadmap(path.c_str(), &map, &fault)) << fault.text;
    EXPECT_EQ(map.bytes, bytes);
}

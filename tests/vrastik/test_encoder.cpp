// The column encoder against the map reader: every column decodes back to
// its air, hidden and visible voxels with their colours.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "generator.h"
#include "mapfile.h"

namespace {

// A column of codes: air (-1) or a colour word standing for itself.
struct testcolumn {
    int32_t codes[mapdepth];
};

testcolumn layered(std::initializer_list<std::pair<int, int>> airruns)
{
    testcolumn c;
    for (int z = 0; z < mapdepth; z++)
        c.codes[z] = int32_t(0x80000000u | uint32_t(z) << 8 | 0x5A);
    for (auto [from, to] : airruns)
        for (int z = from; z <= to; z++)
            c.codes[z] = aircode;
    return c;
}

struct encoded {
    std::vector<uint8_t> bytes;
};

encoded encode(const testcolumn &c, const testcolumn *nb[4])
{
    uint8_t out[maxcolumnbytes];
    const int32_t *const n[4] = {nb[0]->codes, nb[1]->codes, nb[2]->codes, nb[3]->codes};
    // Every code stands for its own colour: the painter is never asked.
    auto unasked = [](void *, int, int, int, int) -> uint32_t {
        ADD_FAILURE() << "a colour was asked for";
        return 0;
    };
    int size = encodecolumnwith(c.codes, n, 0, 0, out, {unasked, nullptr});
    return {std::vector<uint8_t>(out, out + size)};
}

// Visibility by its definition, independent of the encoder's runs.
void expectdecodes(const testcolumn &c, const testcolumn *nb[4], const encoded &e)
{
    mapcolumn col;
    mapfault fault;
    long used = decodecolumn(e.bytes.data(), e.bytes.size(), &col, &fault);
    ASSERT_EQ(used, long(e.bytes.size())) << fault.text;
    for (int z = 0; z < mapdepth; z++) {
        bool isair = c.codes[z] == aircode;
        bool exposed = false;
        for (int i = 0; i < 4; i++)
            exposed |= nb[i]->codes[z] == aircode;
        exposed &= !isair && z < mapdepth - 1;
        bool airabove = z == 0 || c.codes[z - 1] == aircode;
        bool airbelow = z < mapdepth - 1 && c.codes[z + 1] == aircode;
        bool visible = !isair && (exposed || airabove || airbelow);
        uint8_t want = isair ? voxelair : visible ? voxelcoloured : voxelhidden;
        ASSERT_EQ(col.state[z], want) << "z " << z;
        if (visible) {
            ASSERT_EQ(col.colour[z], uint32_t(c.codes[z])) << "z " << z;
        }
    }
}

std::vector<uint8_t> span(uint8_t length, uint8_t top, uint8_t end, uint8_t airstart)
{
    return {length, top, end, airstart};
}

std::vector<uint8_t> colours(const testcolumn &c, int from, int to)
{
    std::vector<uint8_t> v;
    for (int z = from; z <= to; z++)
        for (int b = 0; b < 4; b++)
            v.push_back(uint8_t(uint32_t(c.codes[z]) >> (8 * b)));
    return v;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ColumnEncoder, DocumentedColumns)
{
    const testcolumn solid = layered({});
    const testcolumn *solidnb[4] = {&solid, &solid, &solid, &solid};
    EXPECT_EQ(encode(solid, solidnb).bytes, span(0, 0, 0, 0) + colours(solid, 0, 0));

    const testcolumn sky = layered({{0, 99}});
    const testcolumn *skynb[4] = {&sky, &sky, &sky, &sky};
    EXPECT_EQ(encode(sky, skynb).bytes, span(0, 100, 100, 0) + colours(sky, 100, 100));

    // A floating block: its lowest visible voxel ends the first span, the
    // second span's air start is the first air voxel below it.
    const testcolumn block = layered({{0, 49}, {60, 99}});
    const testcolumn *blocknb[4] = {&block, &block, &block, &block};
    encoded e = encode(block, blocknb);
    EXPECT_EQ(e.bytes, span(3, 50, 50, 0) + colours(block, 50, 50) + colours(block, 59, 59) +
                           span(0, 100, 100, 60) + colours(block, 100, 100));
    EXPECT_EQ(e.bytes.size(), 20u);

    // Exposed where the x - 1 neighbour has air.
    const testcolumn low = layered({{0, 29}}), deep = layered({{0, 39}});
    const testcolumn *lownb[4] = {&deep, &low, &low, &low};
    EXPECT_EQ(encode(low, lownb).bytes, span(0, 30, 39, 0) + colours(low, 30, 39));
}

TEST(ColumnEncoder, LongExposedRunsOpenFurtherSpans)
{
    // Exposed over all but the covered ends: more colours than one span holds.
    const testcolumn column = layered({});
    const testcolumn open = layered({{1, 254}});
    const testcolumn *nb[4] = {&open, &column, &column, &column};
    encoded e = encode(column, nb);
    expectdecodes(column, nb, e);
    EXPECT_EQ(e.bytes[0], 255);   // 254 colours and the header

    // The same below a hidden stretch, so the overflow falls in bottom colours.
    const testcolumn hole = layered({{0, 0}});
    const testcolumn openlow = layered({{0, 0}, {20, 254}});
    const testcolumn *nb2[4] = {&hole, &openlow, &hole, &hole};
    expectdecodes(hole, nb2, encode(hole, nb2));
}

TEST(ColumnEncoder, RandomColumnsDecodeExactly)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; round++) {
        testcolumn cols[5];
        // Runs of air and solid with random lengths, denser air for some rounds.
        int airodds = 1 + int(rng() % 6);
        for (testcolumn &c : cols) {
            c = layered({});
            int z = 0;
            while (z < mapdepth) {
                int len = 1 + int(rng() % (round % 2 ? 4 : 40));
                bool isair = int(rng() % 8) < airodds;
                for (int i = 0; i < len && z < mapdepth; i++, z++)
                    if (isair && z < mapdepth - 1)
                        c.codes[z] = aircode;
            }
        }
        const testcolumn *nb[4] = {&cols[1], &cols[2], &cols[3], &cols[4]};
        encoded e = encode(cols[0], nb);
        ASSERT_LE(e.bytes.size(), size_t(maxcolumnbytes));
        expectdecodes(cols[0], nb, e);
        if (HasFatalFailure())
            return;
    }
}

} // namespace

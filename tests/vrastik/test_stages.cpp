// The generator's stages on their own: random sequence, rock placement,
// grid classes, colour packing, console formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>
#include <cstdio>
#include <string>

#include "generator.h"
#include "packcolour.h"
#include "runlog.h"

namespace {

TEST(GeneratorRandom, ClassicSequenceAndSeeds)
{
    seedrandom(1);
    EXPECT_EQ(drawrandom(), 41);
    EXPECT_EQ(genrandom.state, 2745024u);
    EXPECT_EQ(drawrandom(), 18467);
    EXPECT_EQ(drawrandom(), 6334);
    EXPECT_EQ(drawrandom(), 26500);
    seedrandom(uint32_t(int32_t(-1)));
    EXPECT_EQ(genrandom.state, 4294967295u);
}

// Jumping ahead n draws lands where n draws by stepping land, for counts
// around the powers of two and past the 2^32 period.
TEST(GeneratorRandom, JumpAheadMatchesStepping)
{
    for (uint32_t start : {1u, 0u, 0xDEADBEEFu}) {
        genrandomstate stepped = {start};
        uint64_t done = 0;
        for (uint64_t n : {0ull, 1ull, 2ull, 3ull, 7ull, 8ull, 1000ull, 65535ull, 65536ull, 3000001ull}) {
            while (done < n) {
                drawfrom(stepped);
                done++;
            }
            genrandomstate jumped = {start};
            jumprandom(jumped, n);
            ASSERT_EQ(jumped.state, stepped.state) << start << " + " << n;
        }
        // The sequence repeats after 2^32 draws.
        genrandomstate full = {start}, twice = {start};
        jumprandom(full, (1ull << 32) + 12345);
        jumprandom(twice, 12345);
        EXPECT_EQ(full.state, twice.state);
    }
}

// Places the rocks of a seed quietly and returns the console text.
std::string place(int rockcount, int32_t seed)
{
    resetgenerator();
    testing::internal::CaptureStdout();
    placerocks(rockcount, regioncentres, seed);
    return testing::internal::GetCapturedStdout();
}

TEST(RockPlacement, FirstRockOfUniformAndCellularKinds)
{
    for (int32_t seed : {2, 3, 6, 7, 10, 11, 12, 13, 14, 15}) {
        place(5000, seed);
        EXPECT_EQ(gen.rockcount, 5000) << seed;
        EXPECT_EQ(gen.rocks[0].x, 1.28125f) << seed;
        EXPECT_EQ(gen.rocks[0].y, 197.9375f) << seed;
        EXPECT_EQ(gen.rocks[0].z, 144.2734375f) << seed;
    }
    for (int32_t seed : {4, 5}) {
        std::string out = place(5000, seed);
        EXPECT_EQ(out, "Generating cave nr = " + std::to_string(seed) + "\n");
        EXPECT_EQ(gen.rockcount, 32256);
        EXPECT_FLOAT_EQ(gen.rocks[0].x, 0.36114502f);
        EXPECT_FLOAT_EQ(gen.rocks[0].y, 577.34875f);
        EXPECT_FLOAT_EQ(gen.rocks[0].z, 16.308716f);
    }
}

TEST(RockPlacement, BlockyKindsPrintAnOrthonormalFrame)
{
    for (int32_t seed : {0, 1, 8, 9}) {
        std::string out = place(7, seed);
        EXPECT_EQ(gen.rockcount, 32768);
        double v[3][3];
        const char *p = std::strchr(out.c_str(), '\n') + 1;
        for (auto &axis : v) {
            ASSERT_EQ(std::sscanf(p, "%lf %lf %lf", &axis[0], &axis[1], &axis[2]), 3) << out;
            p = std::strchr(p, '\n') + 1;
        }
        auto dot = [&](int a, int b) { return v[a][0] * v[b][0] + v[a][1] * v[b][1] + v[a][2] * v[b][2]; };
        for (int a = 0; a < 3; a++)
            for (int b = 0; b < 3; b++)
                EXPECT_NEAR(dot(a, b), a == b ? 1.0 : 0.0, 2e-6) << seed;
        // Right-handed: C = A x B.
        EXPECT_NEAR(v[0][1] * v[1][2] - v[0][2] * v[1][1], v[2][0], 2e-6);
        for (int n = 0; n < gen.rockcount; n++) {
            const rock &r = gen.rocks[n];
            ASSERT_TRUE(r.x >= 0 && r.x <= 1024 && r.y >= 0 && r.y <= 1024 && r.z >= 0 && r.z <= 256) << n;
        }
    }
}

TEST(RockPlacement, HighSeedBitsChangeOnlyTheAirPattern)
{
    place(3000, 3);
    std::vector<rock> a(gen.rocks, gen.rocks + gen.rockcount);
    place(3000, 3 + 16);
    int differ = 0;
    for (int n = 0; n < 3000; n++) {
        EXPECT_EQ(a[n].x, gen.rocks[n].x);
        EXPECT_EQ(a[n].y, gen.rocks[n].y);
        EXPECT_EQ(a[n].z, gen.rocks[n].z);
        differ += a[n].material != gen.rocks[n].material;
    }
    EXPECT_GT(differ, 0);
}

TEST(RockPlacement, TerrainIsOpenAboveTheMiddle)
{
    place(4096, 2);
    int airabove = 0, above = 0;
    for (int n = 0; n < gen.rockcount; n++)
        if (gen.rocks[n].z < 64) {
            above++;
            airabove += gen.rocks[n].material == -1;
        }
    // Every region centre above z = 128 is air; rocks near the top are almost all air.
    EXPECT_GT(airabove, above * 9 / 10);
}

// A brute-force nearest rock over the whole table, as the oracle of the grids.
int32_t bruteforcecode(int x, int y, int z)
{
    float best = 1e30f;
    int winner = -1;
    for (int n = 0; n < gen.rockcount; n++) {
        const rock &r = gen.rocks[n];
        float dx = r.x - float(x), dy = r.y - float(y), dz = r.z - float(z);
        float d = (dx * dx + dy * dy + dz * dz) * r.weight;
        if (d < best) {
            best = d;
            winner = n;
        }
    }
    return gen.rocks[winner].material == -1 ? aircode : solidcode;
}

TEST(GridStage, ColumnsAgreeWithBruteForceNearestRock)
{
    place(2000, 13);
    gen.groundposition = 200;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(gridstage());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Calculate grid 0...\nDone. Size="), std::string::npos) << out;
    char texscale[32];
    std::snprintf(texscale, sizeof texscale, "Texscale = %.3f\n", std::cbrt(2000 / 32768.0));
    EXPECT_NE(out.find(texscale), std::string::npos) << out;
    EXPECT_EQ(gen.aircount + gen.solidcount, 2000);
    int32_t codes[mapdepth];
    int mismatches = 0;
    for (int x : {0, 5, 511, 1023})
        for (int y : {0, 300, 1023}) {
            ASSERT_TRUE(makecolumn(x, y, codes));
            for (int z = 0; z < mapdepth; z++) {
                int32_t want = z >= gen.groundposition ? solidcode : bruteforcecode(x, y, z);
                mismatches += codes[z] != want;
            }
        }
    EXPECT_EQ(mismatches, 0);
}

TEST(GridStage, NearestFourAgreesWithBruteForceAndTexscale)
{
    place(4096, 11);
    gen.groundposition = 128;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(gridstage());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(gen.texscale, 0.5f);
    cellcache cache;
    for (int x : {3, 700})
        for (int y : {9, 1000})
            for (int z : {0, 77, 255}) {
                nearestrocks q;
                ASSERT_TRUE(nearestrocksof(cache, x, y, z, q));
                std::vector<float> all;
                for (int n = 0; n < gen.rockcount; n++) {
                    const rock &r = gen.rocks[n];
                    float dx = r.x - float(x), dy = r.y - float(y), dz = r.z - float(z);
                    all.push_back((dx * dx + dy * dy + dz * dz) * r.weight);
                }
                std::sort(all.begin(), all.end());
                for (int s = 0; s < 4; s++)
                    EXPECT_EQ(q.dist[s], all[s]) << x << " " << y << " " << z << " slot " << s;
            }
}

TEST(GridStage, MaterialsFollowTheTextureCount)
{
    for (int textures : {0, 1, 3}) {
        place(3000, 7);
        gen.texturecount = textures;
        gen.groundposition = 100;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(gridstage());
        testing::internal::GetCapturedStdout();
        for (int n = 0; n < gen.rockcount; n++) {
            const rock &r = gen.rocks[n];
            if (r.z > 101) {
                EXPECT_GE(r.material, 0) << "below the ground every rock is solid";
            }
            int highest = textures == 1 ? 0 : 1;
            EXPECT_LE(r.material, highest);
            EXPECT_GE(r.material, -1);
        }
    }
}

TEST(ColourPacking, GeneratorRoundsDownDesignerToNearest)
{
    struct row {
        float value;
        uint32_t generator, designer;
    } rows[] = {
        {-0.6f, 0, 0}, {-0.5f, 0, 0}, {0.0f, 0, 0}, {3.0f, 3, 3}, {7.0f, 7, 7}, {2.5f, 2, 2},
        {17.99f, 17, 18}, {200.9f, 200, 201}, {255.0f, 255, 255},
        {254.5f, 254, 254}, {255.5f, 255, 255}, {255.9f, 255, 255}, {1e9f, 255, 255},
        {NAN, 0, 0}, {INFINITY, 0, 0}, {-INFINITY, 0, 0},
    };
    for (const row &r : rows) {
        EXPECT_EQ(packgencolour(r.value, 0, 0), 0x80000000u | r.generator << 16) << r.value;
        EXPECT_EQ(packgencolour(0, 0, r.value), 0x80000000u | r.generator) << r.value;
        EXPECT_EQ(packcolour(0, r.value, 0), r.designer << 8) << r.value;
    }
}

TEST(Console, ProgressBarIsAlwaysFiftyWide)
{
    struct row {
        int percent;
        const char *text;
    } rows[] = {
        {0, "|                                                  | 0%\r"},
        {1, "|                                                  | 1%\r"},
        {51, "|=========================                         | 51%\r"},
        {100, "|==================================================| 100%\r"},
    };
    for (const row &r : rows) {
        testing::internal::CaptureStdout();
        printprogress(r.percent);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), r.text);
    }
}

TEST(Console, MessagesReachTheConsoleWithoutALog)
{
    const char *saved = runlog.path;
    runlog.path = "/nonexistent-directory/vrastik.log";
    testing::internal::CaptureStdout();
    int result = logmessage("...error loading texture %s!\n", "a.tx");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "...error loading texture a.tx!\n\n");
    EXPECT_NE(result, 0);
    runlog.path = saved;
}

} // namespace

// Texture evaluation: scaled distances, the four-nearest query against a
// brute-force search, argument order, constant textures, the fallback
// formula and colour packing.
#include "compiler.h"
#include "evaluate.h"
#include "noise.h"
#include "packcolour.h"
#include "pointset.h"
#include "random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const std::string header = "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n";

exprfunc compilebody(const std::string &body)
{
    setexprdialect(dialectpelmora);
    std::string text = header + body;
    exprfunc f = compileexpr(text.c_str());
    EXPECT_NE(f, nullptr) << body << ": " << compileerror();
    return f;
}

// Brute force over every point: all distances below the start value, in
// point order, stably sorted.
nearestfour bruteforce(int x, int y, int z)
{
    struct hit {
        float d;
        int i;
    };
    std::vector<hit> hits;
    for (int i = 0; i < designpointcount; i++) {
        const featurepoint &p = designpoints.points[i];
        float dx = p.x - float(x), dy = p.y - float(y), dz = p.z - float(z);
        float d = p.weight * (dx * dx + dy * dy + dz * dz);
        if (d < 147456.0f)
            hits.push_back({d, i});
    }
    std::stable_sort(hits.begin(), hits.end(), [](const hit &a, const hit &b) { return a.d < b.d; });
    nearestfour n = {{147456.0f, 147456.0f, 147456.0f, 147456.0f}, hits.empty() ? -1 : hits[0].i};
    for (size_t k = 0; k < 4 && k < hits.size(); k++)
        n.dist[k] = hits[k].d;
    return n;
}

struct designgrid {
    pointgrid *g;
    designgrid(float solidweight)
    {
        resetlibraryrand();
        makepointset(solidweight);
        g = buildgrid(gridfournearest, 8, 256, 256, 256, designpointcount, designpoints.index, designsource());
    }
    ~designgrid() { freegrid(g); }
};

}   // namespace

TEST(Evaluate, ScaledDistances)
{
    const struct {
        float b[4], w, d[3];
    } rows[] = {
        {{0, 8, 18, 32}, 1.0f, {2, 3, 4}},              // k = 1/2
        {{5, 4, 16, 36}, 3.0f, {1, 2, 3}},              // k = 1/4: b0 is not used
        {{1, 2, 2, 2}, 0.0f, {std::sqrt(2.0f), std::sqrt(2.0f), std::sqrt(2.0f)}},
    };
    for (auto &r : rows) {
        float d[3];
        scaledistances(r.b, r.w, d);
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(d[i], r.d[i]);
    }
    // A slot nothing filled: d3 = 384 sqrt(k).
    const float b[4] = {1, 2, 3, farthestfour};
    float d[3];
    scaledistances(b, 1.0f, d);
    EXPECT_FLOAT_EQ(d[2], float(384.0 / std::sqrt(2.0)));
    scaledistances(b, 2.0f, d);
    EXPECT_FLOAT_EQ(d[2], float(384.0 / std::sqrt(3.0)));
}

TEST(Evaluate, FourNearestMatchesBruteForce)
{
    for (float solid : {2.0f, 1.0f, 0.5f}) {
        designgrid dg(solid);
        ASSERT_NE(dg.g, nullptr);
        for (int x = 3; x < 256; x += 23)
            for (int y = 0; y < 256; y += 17)
                for (int z = 1; z < 256; z += 29) {
                    nearestfour got = findfour(*dg.g, designsource(), x, y, z);
                    nearestfour want = bruteforce(x, y, z);
                    ASSERT_EQ(got.first, want.first) << x << "," << y << "," << z;
                    for (int k = 0; k < 4; k++)
                        ASSERT_EQ(got.dist[k], want.dist[k]) << x << "," << y << "," << z << " slot " << k;
                }
    }
}

TEST(Evaluate, FourNearestOutsideTheGridFindsNothing)
{
    designgrid dg(2.0f);
    for (auto &p : {std::array<int, 3>{-1, 0, 0}, {256, 5, 5}, {5, 5, 256}}) {
        nearestfour n = findfour(*dg.g, designsource(), p[0], p[1], p[2]);
        EXPECT_EQ(n.first, -1);
        EXPECT_EQ(n.dist[0], farthestfour);
    }
}

TEST(Evaluate, ArgumentOrderAndChannelRows)
{
    textureslot slot = {};
    for (int ch = 0; ch < 3; ch++)
        for (int g = 0; g < 4; g++)
            slot.channel[ch][g] = float(100 * (ch + 1) + g + 1);
    slot.scale = 0.75f;
    const int vx = 700, vy = -3, vz = 255;
    const float d1 = 1.5f, d2 = 2.25f, d3 = 3.125f, fn = -2.5f;
    const struct {
        const char *body;
        float r, g, b;
    } rows[] = {
        {"vx", 700, 700, 700},  {"vy", -3, -3, -3},       {"VZ", 255, 255, 255},    {"d1", d1, d1, d1},
        {"d2", d2, d2, d2},     {"d3", d3, d3, d3},       {"c1", 101, 201, 301},    {"c2", 102, 202, 302},
        {"c3", 103, 203, 303},  {"c4", 104, 204, 304},    {"fn", fn, fn, fn},       {"sc", .75f, .75f, .75f},
        {"42.5", 42.5f, 42.5f, 42.5f},
        {"1/3", float(1.0 / 3), float(1.0 / 3), float(1.0 / 3)},
    };
    for (auto &r : rows) {
        slot.func = compilebody(r.body);
        if (!slot.func)
            continue;
        float out[3];
        gentexsample(slot, vx, vy, vz, d1, d2, d3, fn, out);
        EXPECT_EQ(out[0], r.r) << r.body;
        EXPECT_EQ(out[1], r.g) << r.body;
        EXPECT_EQ(out[2], r.b) << r.body;
    }
}

TEST(Evaluate, ConstantExpressionGivesOneColourEverywhere)
{
    designgrid dg(2.0f);
    resetlibraryrand();
    initnoise(noisedesigner);
    texturescript s;
    defaultscript(s);
    derivechannels(s);
    exprfunc f = compilebody("200.5");
    ASSERT_NE(f, nullptr);
    for (int x = 0; x < 256; x += 51)
        for (int z = 0; z < 256; z += 37) {
            float out[3];
            designsample(f, s, *dg.g, designsource(), x, 255 - x, z, out);
            EXPECT_EQ(packcolour(out[0], out[1], out[2]), 0x00C8C8C8u);   // 200.5 ties to even
            EXPECT_EQ(packgencolour(out[0], out[1], out[2]), 0x80C8C8C8u);
        }
}

TEST(Evaluate, FallbackFormula)
{
    const float channel[3][4] = {{1, 2, 3, 4}, {-1, 0, 0.5f, 10}, {0, 0, 0, 0}};
    const float d[3] = {2, 3, 4};
    float out[3];
    fallbacksample(d, channel, 2.0f, out);
    EXPECT_EQ(out[0], (2 + 6 + 12 + 4) * 2.0f);
    EXPECT_EQ(out[1], (-2 + 0 + 2 + 10) * 2.0f);
    EXPECT_EQ(out[2], 0.0f);
}

TEST(Evaluate, DesignerWithoutExpressionUsesTheFallback)
{
    designgrid dg(2.0f);
    texturescript s;
    defaultscript(s);
    derivechannels(s);
    s.scale = 0.5f;
    for (int x = 10; x < 256; x += 80) {
        int y = 17, z = 140;
        nearestfour n = findfour(*dg.g, designsource(), x, y, z);
        ASSERT_GE(n.first, 0);
        float d[3];
        scaledistances(n.dist, designpoints.points[n.first].weight, d);
        float out[3];
        designsample(nullptr, s, *dg.g, designsource(), x, y, z, out);
        for (int ch = 0; ch < 3; ch++) {
            const float *c = s.channel[ch];
            EXPECT_EQ(out[ch], (d[0] * c[0] + d[1] * c[1] + d[2] * c[2] + c[3]) * 0.5f);
        }
    }
}

TEST(Evaluate, PackColour)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float v;
        uint32_t designer, generator;
    } rows[] = {
        {-0.5f, 0, 0},    {254.5f, 254, 254}, {255.5f, 255, 255}, {-0.6f, 0, 0},  {200.9f, 201, 200},
        {0.5f, 0, 0},     {1.5f, 2, 1},       {256.0f, 255, 255}, {1e9f, 255, 255},   {2.9999998f, 3, 2},
        {-1e9f, 0, 0},    {nan, 0, 0},        {inf, 0, 0},        {-inf, 0, 0},
    };
    for (auto &r : rows) {
        EXPECT_EQ(packcolour(r.v, 0, 0), r.designer << 16) << r.v;
        EXPECT_EQ(packcolour(0, r.v, 0), r.designer << 8) << r.v;
        EXPECT_EQ(packcolour(0, 0, r.v), r.designer) << r.v;
        EXPECT_EQ(packgencolour(r.v, 0.9f, 0.9f), 0x80000000u | r.generator << 16) << r.v;
        EXPECT_EQ(packgencolour(0.9f, 0.9f, r.v), 0x80000000u | r.generator) << r.v;
    }
    EXPECT_EQ(packcolour(1, 2, 3), 0x00010203u);
    EXPECT_EQ(packgencolour(1.2f, 2.7f, 3.0f), 0x80010203u);
}

// Rounding down keeps whole values: the bias must not be rounded into the
// value first (3.0 - 0.49999991 in single precision is exactly 2.5, which
// would round to 2).
TEST(Evaluate, PackGenColourKeepsWholeValues)
{
    for (int v : {1, 2, 3, 4, 7, 100, 201, 254, 255})
        EXPECT_EQ(packgencolour(float(v), float(v), float(v)), 0x80000000u | uint32_t(v) * 0x010101u) << v;
}

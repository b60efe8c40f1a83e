// The designer's point set: draws, copies, air flags and the weight rule.
#include "pointset.h"
#include "random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

int oracledraw(uint64_t &state)
{
    state = (state * 214013 + 2531011) & 0xFFFFFFFFu;
    return int(state >> 16 & 0x7FFF);
}

}   // namespace

TEST(PointSet, BasePointsComeFromTheLibraryRandomInOrder)
{
    resetlibraryrand();
    makepointset(2.0f);
    uint64_t state = 1;
    for (int i = 0; i < basepointcount; i++) {
        const featurepoint &p = designpoints.points[i];
        // rand() * 256 / 32768 is rand() / 128: exact in single precision.
        EXPECT_EQ(p.x, float(oracledraw(state)) / 128.0f) << i;
        EXPECT_EQ(p.y, float(oracledraw(state)) / 128.0f) << i;
        EXPECT_EQ(p.z, float(oracledraw(state)) / 128.0f) << i;
    }
    EXPECT_EQ(librandom.state, uint32_t(state));   // 384 draws, no more
}

TEST(PointSet, EightShiftedCopiesInOrder)
{
    resetlibraryrand();
    makepointset(2.0f);
    const int shifts[8][2] = {{256, 256}, {256, 0},    {256, -256}, {0, 256},
                              {0, -256},  {-256, 256}, {-256, 0},   {-256, -256}};
    ASSERT_EQ(designpointcount, 1152);
    for (int c = 0; c < 8; c++)
        for (int i = 0; i < basepointcount; i++) {
            const featurepoint &base = designpoints.points[i];
            const featurepoint &copy = designpoints.points[(c + 1) * 128 + i];
            EXPECT_EQ(copy.x, base.x + float(shifts[c][0]));
            EXPECT_EQ(copy.y, base.y + float(shifts[c][1]));
            EXPECT_EQ(copy.z, base.z);
            EXPECT_EQ(copy.weight, base.weight);
            EXPECT_EQ(designpoints.air[(c + 1) * 128 + i], designpoints.air[i]);
        }
    for (int i = 0; i < designpointcount; i++)
        EXPECT_EQ(designpoints.index[i], i);
}

TEST(PointSet, AirAboveHalfHeightStrictlyAndWeights)
{
    resetlibraryrand();
    makepointset(0.25f);
    int air = 0;
    for (int i = 0; i < designpointcount; i++) {
        const featurepoint &p = designpoints.points[i];
        EXPECT_EQ(designpoints.air[i], p.z > 128.0f ? 1 : 0) << p.z;
        EXPECT_EQ(p.weight, designpoints.air[i] ? 1.0f : 0.25f);
        air += designpoints.air[i];
    }
    EXPECT_GT(air, 0);
    EXPECT_LT(air, designpointcount);
    setsolidweight(3.0f);
    for (int i = 0; i < designpointcount; i++)
        EXPECT_EQ(designpoints.points[i].weight, designpoints.air[i] ? 1.0f : 3.0f);
}

TEST(PointSet, AirFlagBoundary)
{
    const struct {
        float z;
        int air;
    } rows[] = {
        {128.0f, 0}, {std::nextafter(128.0f, 200.0f), 1}, {128.0078125f, 1}, {127.9921875f, 0}, {0.0f, 0},
        {255.9921875f, 1},
    };
    for (auto &r : rows)
        EXPECT_EQ(airflagof(r.z), r.air) << r.z;
}

TEST(PointSet, SolidWeightFromShape)
{
    const struct {
        float shape, weight;
    } rows[] = {
        {-1.0f, 2.0f}, {0.0f, 1.0f}, {1.0f, 0.5f}, {-2.5f, 3.5f}, {3.0f, 0.25f}, {-0.0f, 1.0f},
    };
    for (auto &r : rows)
        EXPECT_EQ(solidweightof(r.shape), r.weight) << r.shape;
}

// Point grids against brute force: every location finds its nearest point
// (mode 2) or its four nearest (mode 1) in its own cell's list.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "pointgrid.h"
#include "workers.h"

namespace {

struct cloud {
    std::vector<featurepoint> points;
    std::vector<int> index;
    std::vector<int> air;
    pointsource source() const
    {
        return {reinterpret_cast<const unsigned char *>(points.data()), sizeof(featurepoint)};
    }
};

cloud randomcloud(int n, float sx, float sy, float sz, unsigned seed, float margin = 0)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> ux(-margin, sx + margin), uy(-margin, sy + margin),
        uz(0, sz), uw(0.3f, 2.5f);
    cloud c;
    for (int i = 0; i < n; i++) {
        c.points.push_back({ux(rng), uy(rng), uz(rng), uw(rng)});
        c.index.push_back(i);
        c.air.push_back(int(rng() & 1));
    }
    return c;
}

float dist(const featurepoint &p, int x, int y, int z)
{
    float dx = p.x - float(x), dy = p.y - float(y), dz = p.z - float(z);
    return p.weight * (dx * dx + dy * dy + dz * dz);
}

std::vector<int> celllist(const pointgrid &g, int side, int x, int y, int z)
{
    int c = (g.ny * (x / side) + y / side) * g.nz + z / side;
    return std::vector<int>(g.entries + g.starts[c], g.entries + g.starts[c + 1]);
}

// The k smallest distances over all points and over the cell's list agree.
void expectcellholdsnearest(const cloud &c, const pointgrid &g, int side, int k, int x, int y, int z)
{
    std::vector<float> all, cell;
    for (const featurepoint &p : c.points)
        all.push_back(dist(p, x, y, z));
    for (int i : celllist(g, side, x, y, z))
        cell.push_back(dist(c.points[size_t(i)], x, y, z));
    std::sort(all.begin(), all.end());
    std::sort(cell.begin(), cell.end());
    ASSERT_GE(cell.size(), size_t(std::min<size_t>(k, all.size())));
    for (int i = 0; i < k && i < int(all.size()); i++)
        ASSERT_EQ(cell[size_t(i)], all[size_t(i)]) << x << "," << y << "," << z << " rank " << i;
}

TEST(PointGrid, CellsHoldTheNearestPoints)
{
    struct row {
        int mode, mincell, sx, sy, sz, points, k;
        float margin;
    } rows[] = {
        {gridnearest, 8, 256, 256, 256, 1152, 1, 256},     // designer, with shifted copies outside
        {gridfournearest, 8, 256, 256, 256, 1152, 4, 256},
        {gridnearest, 8, 512, 512, 128, 3000, 1, 0},       // generator-like flat boxes
        {gridfournearest, 16, 512, 512, 128, 3000, 4, 0},
        {gridfournearest, 8, 64, 64, 64, 3, 4, 0},         // fewer than four points: all kept
    };
    std::mt19937 rng(7);
    for (const row &r : rows) {
        cloud c = randomcloud(r.points, float(r.sx), float(r.sy), float(r.sz), unsigned(r.points), r.margin);
        pointgrid *g = buildgrid(r.mode, r.mincell, r.sx, r.sy, r.sz, r.points, c.index.data(), c.source());
        ASSERT_NE(g, nullptr);
        int side = r.mincell;
        EXPECT_EQ(g->cellcount, (r.sx / side) * (r.sy / side) * (r.sz / side));
        EXPECT_EQ(g->starts[0], 0);
        EXPECT_EQ(g->starts[g->cellcount], g->entrycount);
        for (int i = 0; i < 400; i++) {
            int x = int(rng() % unsigned(r.sx)), y = int(rng() % unsigned(r.sy)), z = int(rng() % unsigned(r.sz));
            expectcellholdsnearest(c, *g, side, r.k, x, y, z);
            if (HasFatalFailure())
                break;
        }
        freegrid(g);
    }
}

TEST(PointGrid, ClassesAndTheRootGrid)
{
    // Two points far apart: cells near each list only that one.
    std::vector<featurepoint> pts = {{10, 10, 10, 1}, {240, 240, 240, 1}};
    std::vector<int> index = {0, 1}, air = {1, 0};
    pointsource src = {reinterpret_cast<const unsigned char *>(pts.data()), sizeof(featurepoint)};
    pointgrid *g = buildgrid(gridnearest, 8, 256, 256, 256, 2, index.data(), src);
    ASSERT_NE(g, nullptr);
    std::vector<uint8_t> classes(size_t(g->cellcount));
    classifycells(*g, air.data(), classes.data());
    EXPECT_EQ(classes[0], 0);                              // air point only
    EXPECT_EQ(classes[size_t(g->cellcount - 1)], 1);       // solid point only
    EXPECT_GT(std::count(classes.begin(), classes.end(), 2), 0);   // cells on the border list both
    freegrid(g);

    // A minimum cell larger than the first side: the root itself, every point listed.
    g = buildgrid(gridfournearest, 512, 256, 256, 256, 2, index.data(), src);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->cellcount, 1);
    EXPECT_EQ(g->entrycount, 2);
    std::vector<uint8_t> one(1);
    classifycells(*g, air.data(), one.data());
    EXPECT_EQ(one[0], 2);
    freegrid(g);

    // An empty cell is class 0xFF.
    pointgrid empty = {1, 0, nullptr, nullptr, 1, 1};
    int starts[2] = {0, 0};
    empty.starts = starts;
    classifycells(empty, air.data(), one.data());
    EXPECT_EQ(one[0], 0xFF);
}

TEST(PointGrid, BoxesThatAreNotMultiplesOfTheCell)
{
    // Sides 36, 18, 9: the last one at least the minimum of 8; the cells
    // at the far faces reach past the box.
    cloud c = randomcloud(500, 100, 60, 36, 99);
    pointgrid *g = buildgrid(gridfournearest, 8, 100, 60, 36, 500, c.index.data(), c.source());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->cellcount, 12 * 7 * 4);
    std::mt19937 rng(3);
    for (int i = 0; i < 300; i++)
        expectcellholdsnearest(c, *g, 9, 4, int(rng() % 100), int(rng() % 60), int(rng() % 36));
    freegrid(g);
}

// The grid built step by step as the algorithm is written (one cell at a
// time, every candidate's far and near distance from its own coordinates),
// for comparing the arrays of buildgrid with.
struct referencegrid {
    std::vector<int> starts, entries;
    int ny = 1, nz = 1;
};

float farside(float p, float lo, float hi)
{
    return p >= (lo + hi) * 0.5f ? p - lo : hi - p;
}

float nearside(float p, float lo, float hi)
{
    return p < lo ? lo - p : p > hi ? p - hi : 0.0f;
}

referencegrid referencebuild(int mode, int mincell, int sx, int sy, int sz, const cloud &c)
{
    referencegrid cur;
    cur.starts = {0, int(c.index.size())};
    cur.entries = c.index;
    int G[3] = {sx, sy, sz};
    bool root = true;
    for (int g = (sx == sy && sy == sz) ? sx / 2 : std::min({sx, sy, sz}); g >= mincell; g >>= 1) {
        referencegrid next;
        next.ny = (sy + g - 1) / g;
        next.nz = (sz + g - 1) / g;
        next.starts.push_back(0);
        for (int x0 = 0; x0 < sx; x0 += g)
            for (int y0 = 0; y0 < sy; y0 += g)
                for (int z0 = 0; z0 < sz; z0 += g) {
                    int parent = root ? 0 : ((x0 / G[0]) * cur.ny + y0 / G[1]) * cur.nz + z0 / G[2];
                    float lo[3], hi[3];
                    const int corner[3] = {x0, y0, z0};
                    for (int a = 0; a < 3; a++) {
                        lo[a] = float(corner[a]) - (mode == gridnearest ? 1.0f : 0.0f);
                        hi[a] = float(corner[a] + g);
                    }
                    std::vector<float> far;
                    for (int e = cur.starts[size_t(parent)]; e < cur.starts[size_t(parent) + 1]; e++) {
                        const featurepoint &p = c.points[size_t(cur.entries[size_t(e)])];
                        float dx = farside(p.x, lo[0], hi[0]), dy = farside(p.y, lo[1], hi[1]);
                        float dz = farside(p.z, lo[2], hi[2]);
                        far.push_back(p.weight * (dx * dx + dy * dy + dz * dz));
                    }
                    std::sort(far.begin(), far.end());
                    size_t rank = mode == gridnearest ? 0 : 3;
                    float bound = far.size() > rank ? far[rank] : 1e30f;
                    for (int e = cur.starts[size_t(parent)]; e < cur.starts[size_t(parent) + 1]; e++) {
                        const featurepoint &p = c.points[size_t(cur.entries[size_t(e)])];
                        float dx = nearside(p.x, lo[0], hi[0]), dy = nearside(p.y, lo[1], hi[1]);
                        float dz = nearside(p.z, lo[2], hi[2]);
                        if (p.weight * (dx * dx + dy * dy + dz * dz) < bound)
                            next.entries.push_back(cur.entries[size_t(e)]);
                    }
                    next.starts.push_back(int(next.entries.size()));
                }
        cur = next;
        G[0] = G[1] = G[2] = g;
        root = false;
    }
    return cur;
}

// The arrays are those of the step-by-step build, whatever the number of
// threads that build the levels, also with a team member helping (0 threads
// of its own: the one building and a helper).
TEST(PointGrid, SameArraysAsTheStepByStepBuildOnAnyThreadCount)
{
    struct row {
        int mode, mincell, sx, sy, sz, points;
        float margin;
    } rows[] = {
        {gridnearest, 8, 256, 256, 256, 1152, 256},
        {gridfournearest, 8, 256, 256, 256, 1152, 256},
        {gridnearest, 8, 1024, 1024, 256, 2500, 0},
        {gridfournearest, 16, 1024, 1024, 256, 2500, 0},
        {gridfournearest, 8, 100, 60, 36, 500, 0},
        {gridnearest, 8, 100, 60, 36, 500, 0},
        {gridfournearest, 8, 64, 64, 64, 3, 0},
    };
    for (const row &r : rows) {
        cloud c = randomcloud(r.points, float(r.sx), float(r.sy), float(r.sz), unsigned(r.points + r.mode), r.margin);
        referencegrid want = referencebuild(r.mode, r.mincell, r.sx, r.sy, r.sz, c);
        for (int threads : {1, 2, 3, 7, 0}) {
            pointgrid *g = nullptr;
            if (threads > 0) {
                g = buildgridon(threads, r.mode, r.mincell, r.sx, r.sy, r.sz, r.points, c.index.data(), c.source());
            } else {
                // One thread, and another that waits in runparts for it and helps.
                runparts(2, 2, [&](int member) {
                    if (member == 0)
                        g = buildgridon(1, r.mode, r.mincell, r.sx, r.sy, r.sz, r.points, c.index.data(),
                                        c.source(), true);
                });
            }
            ASSERT_NE(g, nullptr);
            EXPECT_EQ(g->ny, want.ny);
            EXPECT_EQ(g->nz, want.nz);
            ASSERT_EQ(size_t(g->cellcount) + 1, want.starts.size()) << threads << " threads";
            EXPECT_EQ(std::vector<int>(g->starts, g->starts + g->cellcount + 1), want.starts)
                << r.sx << "x" << r.sy << "x" << r.sz << " mode " << r.mode << ", " << threads << " threads";
            EXPECT_EQ(std::vector<int>(g->entries, g->entries + g->entrycount), want.entries)
                << r.sx << "x" << r.sy << "x" << r.sz << " mode " << r.mode << ", " << threads << " threads";
            freegrid(g);
        }
    }
}

} // namespace

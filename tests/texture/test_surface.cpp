// Surfaces of any side: the points' draws against the designer's own
// sequence, the blocks' queries against a brute-force search (on a torus of
// the side for tiled surfaces: every point and its images 2 sides away in
// each direction), and side 256 against the preview.
#include "designer.h"
#include "pointset.h"
#include "preview.h"
#include "random.h"
#include "surface.h"
#include "texscript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

// The field a brute-force search looks at: a tiled surface's base points
// repeated every side, or an untiled one's points as they are.
struct brutefield {
    const surfacepoints &s;
    bool torus;

    template <typename F> void each(F visit) const
    {
        const int count = torus ? s.basecount : int(s.points.size()), images = torus ? 2 : 0;
        for (int k = 0; k < count; k++)
            for (int i = -images; i <= images; i++)
                for (int j = -images; j <= images; j++) {
                    featurepoint p = s.points[size_t(k)];
                    p.x += float(i * s.side);
                    p.y += float(j * s.side);
                    visit(p, s.air[size_t(k)]);
                }
    }
};

// The four smallest distances below `start` (padded with it) and the
// nearest point's air flag, -1 when a point of the other kind is as near.
struct brutefour {
    float dist[4];
    int air;
};

brutefour bruteforcefour(const brutefield &f, int x, int y, int z, float start = 147456.0f)
{
    brutefour b = {{start, start, start, start}, -1};
    f.each([&](const featurepoint &p, int air) {
        float dx = p.x - float(x), dy = p.y - float(y), dz = p.z - float(z);
        float d = p.weight * (dx * dx + dy * dy + dz * dz);
        if (d == b.dist[0] && air != b.air)
            b.air = -1;
        int k = 4;
        for (; k > 0 && d < b.dist[k - 1]; k--)
            if (k < 4)
                b.dist[k] = b.dist[k - 1];
        if (k < 4)
            b.dist[k] = d;
        if (k == 0)
            b.air = air;
    });
    return b;
}

// Top voxel whose nearest point is solid, every voxel tested; -1 when a tie
// between an air and a solid point decides a voxel on the way.
int bruteforceheight(const brutefield &f, int x, int y)
{
    for (int z = 255; z >= 0; z--) {
        int air = bruteforcefour(f, x, y, z, 1e30f).air;
        if (air != 1)
            return air == 0 ? z : -1;
    }
    return 0;
}

} // namespace

// Side 256 has the preview's points; a larger side's points go on with the
// designer's sequence after its start-up (its 384 draws, the noise's), the
// untiled neighbours drawn on in the preview's order of copies.
TEST(Surface, PointsContinueTheDesignersDraws)
{
    resetlibraryrand();
    startdesigner();
    surfacepoints s;
    makesurfacepoints(s, {256, false}, texscripts.script.solidweight);
    ASSERT_EQ(s.points.size(), size_t(designpointcount));
    for (int i = 0; i < designpointcount; i++) {
        const featurepoint &p = s.points[size_t(i)], &q = designpoints.points[i];
        ASSERT_TRUE(p.x == q.x && p.y == q.y && p.z == q.z && p.weight == q.weight) << i;
    }
    const int side = 512, shifts[9][2] = {{0, 0}, {1, 1}, {1, 0}, {1, -1}, {0, 1}, {0, -1}, {-1, 1}, {-1, 0}, {-1, -1}};
    makesurfacepoints(s, {side, false}, 0.5f);
    for (int k = 0; k < 9 * s.basecount; k++) {
        const int *shift = shifts[k / s.basecount];
        float x = k < basepointcount ? designpoints.points[k].x * 2.0f : float(libraryrand() * side) / 32768.0f;
        float y = k < basepointcount ? designpoints.points[k].y * 2.0f : float(libraryrand() * side) / 32768.0f;
        float z = k < basepointcount ? designpoints.points[k].z : float(libraryrand() * 256) / 32768.0f;
        const featurepoint &p = s.points[size_t(k)];
        ASSERT_TRUE(p.x == x + float(shift[0] * side) && p.y == y + float(shift[1] * side) && p.z == z) << k;
        ASSERT_EQ(p.weight, z > 128.0f ? 1.0f : 0.5f) << k;
    }
}

// Blocks at the corners of the area and its ring (boxes of 256 and wider,
// as the renderer cuts them), against a brute-force search: the four
// nearest distances and the nearest point's kind, and column heights. In
// the last row the point farthest from the origin weighs almost nothing:
// it is the nearest everywhere, also to blocks far from it.
TEST(Surface, BlockQueriesMatchBruteForce)
{
    const struct {
        int side;
        bool tile;
        int box;            // block box width and height
        float solidweight;
    } rows[] = {
        {64, true, 256, 2.0f},  {96, false, 300, 0.5f}, {256, true, 260, 2.0f},
        {480, false, 484, 1.0f}, {512, true, 256, 0.1f}, {1024, true, 260, 0.5f}, {1024, false, 256, 0.0f},
    };
    std::mt19937 rng(7);
    for (const auto &r : rows) {
        SCOPED_TRACE("side " + std::to_string(r.side) + (r.tile ? " tiled" : " untiled"));
        surfacepoints s;
        makesurfacepoints(s, {r.side, r.tile}, r.solidweight);
        if (r.solidweight == 0.0f) {
            auto far = std::max_element(s.points.begin(), s.points.begin() + s.basecount,
                                        [](auto &a, auto &b) { return a.x + a.y < b.x + b.y; });
            for (featurepoint &p : s.points)
                p.weight = &p == &*far ? 1e-6f : 1.0f;
            s.minweight = 1e-6f;
        }
        const brutefield field{s, s.wraps};
        // corners from -2, the ring's first column, to side + 1, its last
        std::vector<int> starts = {-2};
        if (r.side + 2 - r.box > -2)
            starts.push_back(r.side + 2 - r.box);
        for (int y0 : starts)
            for (int x0 : starts) {
                surfaceblock four, nearest;
                ASSERT_TRUE(buildblock(four, s, gridfournearest, x0, y0, r.box, r.box));
                ASSERT_TRUE(buildblock(nearest, s, gridnearest, x0, y0, r.box, r.box));
                const int edge[] = {0, 1, 2, 3, r.box - 4, r.box - 3, r.box - 2, r.box - 1};
                for (int k = 0; k < 8; k++) {
                    // edges and corners, then points along the edges; the
                    // renderer asks no further than side + 1
                    int x = std::min(x0 + (k < 4 ? edge[k] : int(rng() % unsigned(r.box))), r.side + 1);
                    int y = std::min(y0 + edge[k < 4 ? (k * 3 + 1) % 8 : k], r.side + 1);
                    for (int z : {int(rng() % 256), 128, 255}) {
                        nearestfour n = blockfour(four, x, y, z);
                        brutefour b = bruteforcefour(field, x, y, z);
                        for (int slot = 0; slot < 4; slot++)
                            ASSERT_EQ(n.dist[slot], b.dist[slot]) << x << "," << y << "," << z << " slot " << slot;
                        if (b.air >= 0) {
                            ASSERT_EQ(four.air[size_t(n.first)], b.air) << x << "," << y << "," << z;
                        }
                    }
                    if (k % 3 == 0) {
                        int h = bruteforceheight(field, x, y);
                        if (h >= 0) {
                            ASSERT_EQ(blockheight(nearest, x, y), h) << x << "," << y;
                        }
                    }
                }
                freeblock(four);
                freeblock(nearest);
            }
    }
}

// The surface of side 256, tiled or not, is the preview pixel for pixel,
// lit and unlit; a larger one is the same on one thread as on four, also
// for an expression that draws random numbers (always in row order).
TEST(Surface, Side256IsThePreviewAndThreadsChangeNothing)
{
    auto render = [](const surfaceoptions &o) {
        std::vector<uint32_t> image;
        auto take = [](void *context, const uint32_t *pixels, int count) {
            auto &v = *static_cast<std::vector<uint32_t> *>(context);
            v.insert(v.end(), pixels, pixels + count);
            return true;
        };
        char why[128];
        EXPECT_EQ(rendersurface(o, {take, &image}, why, sizeof why), 1) << why;
        EXPECT_EQ(image.size(), size_t(o.side) * size_t(o.side));
        return image;
    };
    const std::string examples = EXAMPLESDIR;
    for (const char *name : {"rock", "moss"})
        for (bool nolight : {false, true}) {
            SCOPED_TRACE(std::string(name) + (nolight ? " unlit" : " lit"));
            char why[256];
            designactions a;
            a.nolight = nolight;
            ASSERT_EQ(renderdesign((examples + "/" + name + ".tx").c_str(), a, why, sizeof why), 1) << why;
            const std::vector<uint32_t> previewed(preview.image, preview.image + previewsize);
            EXPECT_TRUE(render({256, false}) == previewed);
            EXPECT_TRUE(render({256, true}) == previewed);
        }

    for (const char *body : {"(d1*c1 + d2*c2 + fn*c3*8 + c4)*sc", "(d1*c1 + RND*c2*40 + c4)*sc"}) {
        SCOPED_TRACE(body);
        exprseed(1);
        exprfree(texscripts.func);
        texscripts.func = compileexpr((std::string(exprheader) + body).c_str());
        ASSERT_NE(texscripts.func, nullptr) << compileerror();
        setcolourthreads(1);
        std::vector<uint32_t> one = render({480, true});
        setcolourthreads(4);
        exprseed(1);
        EXPECT_TRUE(render({480, true}) == one);
        setcolourthreads(0);
    }
    exprfree(texscripts.func);
    texscripts.func = nullptr;
}

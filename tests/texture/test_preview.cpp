// The preview renderer: grid queries against a brute-force search over all
// 1152 feature points, the height map against a voxel-by-voxel column scan,
// the shade map against a second implementation, and what each stage may
// and may not change.
#include "designer.h"
#include "evaluate.h"
#include "noise.h"
#include "packcolour.h"
#include "pointset.h"
#include "preview.h"
#include "random.h"
#include "texscript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string header = "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n";

// The designer's start-up, from the first library random draw on.
void startfresh()
{
    resetlibraryrand();
    resetpreview();
    startdesigner();
    ASSERT_EQ(renderpreview(1, 1), 1);
}

float distanceto(const featurepoint &p, int x, int y, int z)
{
    float dx = p.x - float(x), dy = p.y - float(y), dz = p.z - float(z);
    return p.weight * (dx * dx + dy * dy + dz * dz);
}

// Every point, in index order: the nearest with its air flag, and whether
// a point of the other kind is exactly as near (then either answer is right).
struct brutenearest {
    float dist;
    int air;
    bool tie;
};

brutenearest bruteforcenearest(int x, int y, int z)
{
    brutenearest b = {1e30f, 0, false};
    for (int i = 0; i < designpointcount; i++) {
        float d = distanceto(designpoints.points[i], x, y, z);
        if (d < b.dist)
            b = {d, designpoints.air[i], false};
        else if (d == b.dist && designpoints.air[i] != b.air)
            b.tie = true;
    }
    return b;
}

// The four smallest distances below 384 squared, padded with 384 squared,
// and the index of the nearest point (-1 when none is in reach).
struct brutefour {
    float dist[4];
    int first;
    int found;
};

brutefour bruteforcefour(int x, int y, int z)
{
    std::vector<std::pair<float, int>> all;
    for (int i = 0; i < designpointcount; i++) {
        float d = distanceto(designpoints.points[i], x, y, z);
        if (d < 384.0f * 384.0f)
            all.push_back({d, i});
    }
    std::stable_sort(all.begin(), all.end(), [](auto &a, auto &b) { return a.first < b.first; });
    brutefour b = {{147456.0f, 147456.0f, 147456.0f, 147456.0f}, -1, int(all.size())};
    for (size_t k = 0; k < all.size() && k < 4; k++)
        b.dist[k] = all[k].first;
    if (!all.empty())
        b.first = all[0].second;
    return b;
}

// Top voxel of a column whose nearest point is solid, testing every voxel.
int bruteforceheight(int x, int y)
{
    for (int z = 255; z >= 0; z--)
        if (!bruteforcenearest(x, y, z).air)
            return z;
    return 0;
}

// Sample positions: the map edges, cell borders and a spread inside.
std::vector<int> samplecoordinates()
{
    std::vector<int> v = {0, 1, 7, 8, 127, 128, 247, 248, 254, 255};
    for (int c = 13; c < 256; c += 29)
        v.push_back(c);
    return v;
}

// Every point weighs w: distances grow so much that many surface voxels
// see fewer than four points below 384 squared, and some none.
void weighall(float w)
{
    for (featurepoint &p : designpoints.points)
        p.weight = w;
}

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override { startfresh(); }
    void TearDown() override
    {
        resetpreview();
        texscripts.func = nullptr;
    }

    void compile(const std::string &body)
    {
        texscripts.func = compileexpr((header + body).c_str());
        ASSERT_NE(texscripts.func, nullptr) << compileerror();
    }

    static uint32_t pixel(int x, int y) { return preview.image[y * previewside + x]; }
};

// ---- grid queries and the height map against brute force --------------------

TEST_F(PreviewTest, QueriesMatchBruteForceOverAllPoints)
{
    const float weights[] = {0.0f /* the designer's own */, 1.0f, 0.25f, 400.0f};
    std::mt19937 rng(5);
    for (float w : weights) {
        SCOPED_TRACE("weight " + std::to_string(w));
        if (w > 0.0f)
            weighall(w);
        ASSERT_EQ(rebuildpreview(), 1);
        pointsource src = designsource();
        std::vector<int> cs = samplecoordinates();
        for (int y : cs)
            for (int x : cs) {
                // the surface voxel and one anywhere in the column
                const int zs[] = {preview.height[y * previewside + x], int(rng() % 256)};
                for (int z : zs) {
                    nearestfour n = findfour(*preview.fourgrid, src, x, y, z);
                    brutefour b = bruteforcefour(x, y, z);
                    for (int k = 0; k < 4; k++)
                        ASSERT_EQ(n.dist[k], b.dist[k]) << x << "," << y << "," << z << " slot " << k;
                    ASSERT_EQ(n.first, b.first) << x << "," << y << "," << z;

                    brutenearest bn = bruteforcenearest(x, y, z);
                    if (!bn.tie) {
                        ASSERT_EQ(nearestair(*preview.nearestgrid, src, designpoints.air, x, y, z), bn.air)
                            << x << "," << y << "," << z;
                    }
                }
            }
    }
}

TEST_F(PreviewTest, HeightsMatchAVoxelByVoxelScan)
{
    const float solidweights[] = {2.0f, 1.0f, 0.5f};
    for (float sw : solidweights) {
        setsolidweight(sw);
        ASSERT_EQ(renderpreview(1, 0), 1);
        int x = 0;
        for (int y : samplecoordinates()) {
            x = (x + 37) & 255;
            const int xs[] = {x, y, 255 - y};
            for (int cx : xs)
                EXPECT_EQ(preview.height[y * previewside + cx], bruteforceheight(cx, y))
                    << "column " << cx << "," << y << " solid weight " << sw;
        }
    }
}

// With every point air no column has a solid voxel and all heights are 0;
// with every point solid the top cell is solid-only and all heights are 255.
TEST_F(PreviewTest, AllAirOrAllSolidPoints)
{
    const struct {
        int air;
        int height;
        uint8_t cellclass;
    } rows[] = {{1, 0, 0}, {0, 255, 1}};
    for (const auto &r : rows) {
        std::fill(std::begin(designpoints.air), std::end(designpoints.air), r.air);
        ASSERT_EQ(renderpreview(1, 1), 1);
        EXPECT_TRUE(std::all_of(preview.cellclass, preview.cellclass + previewcellcount,
                                [&](uint8_t c) { return c == r.cellclass; }));
        EXPECT_TRUE(std::all_of(preview.height, preview.height + previewsize, [&](int h) { return h == r.height; }))
            << "air " << r.air;
    }
}

// Weights so heavy that no point is within 384 squared of a voxel farther
// than about 38 units from it: such pixels are black, and a pixel with fewer
// than four points in reach gets 384 squared in the empty slots, so d3 is
// 384 / sqrt(w + 1).
TEST_F(PreviewTest, FarPixelsAreBlackAndEmptySlotsHold384Squared)
{
    const float w = 100.0f;
    weighall(w);
    compile("d3");
    preview.lighting = 0;
    ASSERT_EQ(renderpreview(1, 1), 1);
    int black = 0, partial = 0;
    for (int y = 0; y < 256; y += 3)
        for (int x = 0; x < 256; x += 3) {
            brutefour b = bruteforcefour(x, y, preview.height[y * previewside + x]);
            if (b.found == 0) {
                EXPECT_EQ(pixel(x, y), 0u) << x << "," << y;
                black++;
            } else if (b.found < 4) {
                // d3 = sqrt(147456 / (w + 1)) = 38.2 in every channel
                EXPECT_EQ(pixel(x, y), 0x262626u) << x << "," << y;
                partial++;
            }
        }
    EXPECT_GT(black, 10) << partial;
    EXPECT_GT(partial, 10) << black;
}

// ---- the lighting stage --------------------------------------------------------

// A second implementation of the shade: the 5 x 5 neighbourhood centred on
// the pixel, offsets -2..2 taken modulo 256, in double precision.
double referenceshade(const std::vector<int> &h, int px, int py, double angle)
{
    static const int t[7] = {0, -2, -3, -3, -2, 0, 0};
    int centre = h[py * 256 + px];
    double s = 0, gx = 0, gy = 0;
    for (int oy = -2; oy <= 2; oy++)
        for (int ox = -2; ox <= 2; ox++) {
            int r = (py + oy + 256) % 256, c = (px + ox + 256) % 256;
            int rel = std::clamp(h[r * 256 + c] - centre + 3, 0, 6);
            s += t[rel];
            gx += ox * (rel + 1);
            gy += oy * (rel + 1);
        }
    double lx = 0.3 * std::cos(angle), ly = 0.3 * std::sin(angle);
    return 0.3 - (gy * lx + gx * ly + s) / std::sqrt(s * s + gx * gx + gy * gy);
}

void setheights(const std::vector<int> &h)
{
    std::copy(h.begin(), h.end(), preview.height);
}

TEST_F(PreviewTest, ShadeMatchesASecondImplementation)
{
    std::mt19937 rng(11);
    struct mapcase {
        const char *name;
        int (*height)(int x, int y, std::mt19937 &rng);
    };
    const mapcase maps[] = {
        {"flat", [](int, int, std::mt19937 &) { return 100; }},
        {"rough", [](int, int, std::mt19937 &r) { return 120 + int(r() % 9) - 4; }},
        {"steep", [](int, int, std::mt19937 &r) { return int(r() % 256); }},
        {"terraces", [](int x, int y, std::mt19937 &) { return (x / 3 + 2 * (y / 5)) % 40; }},
        {"the relief itself", [](int, int, std::mt19937 &) { return -1; }},
    };
    const float angles[] = {0.0f, 1.5707964f, 0.7f, -2.5f, 3.14159274f};
    std::vector<int> relief(preview.height, preview.height + previewsize);
    for (const mapcase &m : maps) {
        std::vector<int> h(previewsize);
        for (int n = 0; n < previewsize; n++) {
            int v = m.height(n % 256, n / 256, rng);
            h[n] = v < 0 ? relief[n] : v;
        }
        setheights(h);
        for (float a : angles) {
            lightpreview(a);
            for (int n = 0; n < previewsize; n++)
                ASSERT_NEAR(preview.shade[n], referenceshade(h, n % 256, n / 256, a), 2e-6)
                    << m.name << " angle " << a << " pixel " << n % 256 << "," << n / 256;
        }
    }
}

TEST_F(PreviewTest, FlatGroundShadesOnePointThreeAtAnyAngle)
{
    setheights(std::vector<int>(previewsize, 77));
    const float angles[] = {0.0f, 1.0f, -3.0f};
    for (float a : angles) {
        lightpreview(a);
        for (int n = 0; n < previewsize; n++)
            ASSERT_EQ(preview.shade[n], 1.3f) << n;
    }
}

// One raised voxel at (0, 0) changes exactly the shades whose window holds
// it: rows and columns 254, 255, 0, 1, 2. Its own shade stays 1.3: seen from
// the top of a lone peak every side looks alike.
TEST_F(PreviewTest, WindowWrapsAroundTheEdges)
{
    std::vector<int> h(previewsize, 50);
    h[0] = 60;
    setheights(h);
    lightpreview(0.4f);
    const int near[] = {254, 255, 0, 1, 2};
    int changed = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            bool inwindow = std::find(std::begin(near), std::end(near), x) != std::end(near) &&
                            std::find(std::begin(near), std::end(near), y) != std::end(near) && x + y != 0;
            bool differs = preview.shade[y * 256 + x] != 1.3f;
            EXPECT_EQ(differs, inwindow) << x << "," << y;
            changed += differs;
        }
    EXPECT_EQ(changed, 24);
}

// Light angle 0 weighs only the slope along the rows (gy), pi/2 only the
// slope along the columns (gx): a ridge and its mirror image shade alike
// when the light does not see their slope.
TEST_F(PreviewTest, LightAngleSelectsTheSlopeDirection)
{
    std::vector<int> alongx(previewsize), mirroredx(previewsize), alongy(previewsize), mirroredy(previewsize);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            auto ridge = [](int c) { return c % 16 < 6 ? 40 + c % 16 : 40; };
            alongx[y * 256 + x] = ridge(x);
            mirroredx[y * 256 + x] = ridge((256 - x) & 255);
            alongy[y * 256 + x] = ridge(y);
            mirroredy[y * 256 + x] = ridge((256 - y) & 255);
        }
    struct anglecase {
        float angle;
        const std::vector<int> *map, *mirror;
        bool mirrorx;
        bool alike;
    };
    const anglecase cases[] = {
        {0.0f, &alongx, &mirroredx, true, true},      // x slopes unseen
        {1.5707964f, &alongx, &mirroredx, true, false},
        {1.5707964f, &alongy, &mirroredy, false, true},  // y slopes unseen
        {0.0f, &alongy, &mirroredy, false, false},
    };
    for (const anglecase &c : cases) {
        setheights(*c.map);
        lightpreview(c.angle);
        std::vector<float> a(preview.shade, preview.shade + previewsize);
        setheights(*c.mirror);
        lightpreview(c.angle);
        double worst = 0;
        for (int y = 0; y < 256; y++)
            for (int x = 0; x < 256; x++) {
                int m = c.mirrorx ? y * 256 + ((256 - x) & 255) : ((256 - y) & 255) * 256 + x;
                worst = std::max(worst, double(std::fabs(a[y * 256 + x] - preview.shade[m])));
            }
        if (c.alike)
            EXPECT_LT(worst, 1e-6) << "angle " << c.angle;
        else
            EXPECT_GT(worst, 0.1) << "angle " << c.angle;
    }
}

// ---- stages --------------------------------------------------------------------

// Relight recomputes the shade only: the heights stay, and with the lighting
// off the image does not move either.
TEST_F(PreviewTest, RelightChangesOnlyTheShading)
{
    std::vector<int> heights(preview.height, preview.height + previewsize);
    std::vector<float> shade(preview.shade, preview.shade + previewsize);
    std::vector<uint32_t> lit(preview.image, preview.image + previewsize);
    preview.lighting = 0;
    renderpreview(0, 0);
    std::vector<uint32_t> unlit(preview.image, preview.image + previewsize);
    EXPECT_NE(unlit, lit);

    texscripts.script.lightangle = 2.0f;
    renderpreview(0, 1);
    EXPECT_TRUE(std::equal(heights.begin(), heights.end(), preview.height));
    EXPECT_FALSE(std::equal(shade.begin(), shade.end(), preview.shade));
    EXPECT_TRUE(std::equal(unlit.begin(), unlit.end(), preview.image));

    preview.lighting = 1;
    renderpreview(0, 0);
    EXPECT_FALSE(std::equal(lit.begin(), lit.end(), preview.image));
}

// A constant colour (c1 of each channel) comes out as the constant with the
// lighting off and as the constant times the shade, rounded and clamped,
// with it on.
TEST_F(PreviewTest, ConstantExpressionGivesItsColourUnderTheLight)
{
    compile("c1");
    const float rgb[3] = {200.0f, 100.0f, 50.5f};
    for (int ch = 0; ch < 3; ch++)
        texscripts.script.weights[ch][0] = rgb[ch];
    texscripts.script.weights[3][0] = 1.0f;
    preview.lighting = 0;
    renderpreview(0, 0);
    for (int n = 0; n < previewsize; n++)
        ASSERT_EQ(preview.image[n], 0xC86432u) << n;   // 50.5 rounds to the even 50

    preview.lighting = 1;
    renderpreview(0, 0);
    int clamped = 0;
    for (int n = 0; n < previewsize; n++) {
        uint32_t expected = 0;
        for (int ch = 0; ch < 3; ch++) {
            double v = std::nearbyint(double(rgb[ch] * preview.shade[n]));
            expected = expected << 8 | uint32_t(std::clamp(v, 0.0, 255.0));
            clamped += v > 255.0;
        }
        ASSERT_EQ(preview.image[n], expected) << n << " shade " << preview.shade[n];
    }
    EXPECT_GT(clamped, 0);   // bright slopes: 200 x 1.3 is beyond 255
}

// Without a compiled expression the colour is the built-in formula over the
// distances from brute force, times the shade.
TEST_F(PreviewTest, FallbackFormulaWithoutACompiledExpression)
{
    texscripts.func = nullptr;
    texscripts.script.scale = 0.75f;
    renderpreview(0, 0);
    const texturescript &s = texscripts.script;
    for (int y : samplecoordinates())
        for (int x : samplecoordinates()) {
            int n = y * 256 + x;
            brutefour b = bruteforcefour(x, y, preview.height[n]);
            ASSERT_GE(b.first, 0);
            float k = 1.0f / (designpoints.points[b.first].weight + 1.0f);
            float d[3];
            for (int i = 0; i < 3; i++)
                d[i] = std::sqrt(b.dist[i + 1] * k);
            uint32_t expected = 0;
            for (int ch = 0; ch < 3; ch++) {
                float c1 = s.weights[ch][0] * s.weights[3][0], c2 = s.weights[ch][1] * s.weights[3][1];
                float c3 = s.weights[ch][2] * s.weights[3][2], c4 = s.weights[ch][3] * s.weights[3][3];
                float v = (d[0] * c1 + d[1] * c2 + d[2] * c3 + c4) * s.scale * preview.shade[n];
                double r = std::nearbyint(double(v));
                expected = expected << 8 | uint32_t(std::clamp(r, 0.0, 255.0));
            }
            EXPECT_EQ(pixel(x, y), expected) << x << "," << y;
        }
}

// The colour stage takes the channel weights afresh from the weight table.
TEST_F(PreviewTest, ColourStageDerivesTheChannelWeights)
{
    compile("c2");
    texscripts.script.weights[1][1] = 3.0f;   // green, group 2
    texscripts.script.weights[3][1] = 20.0f;  // group 2 scale
    preview.lighting = 0;
    renderpreview(0, 0);
    EXPECT_EQ(texscripts.script.channel[1][1], 60.0f);
    EXPECT_EQ(pixel(10, 10) >> 8 & 0xFF, 60u);
}

// Lighter solid points (shape 0 -> 1) let the solid cells grow: a rebuild
// can only raise a column's top, and it does raise many. Without a rebuild
// the heights stay as they were.
TEST_F(PreviewTest, RebuildAfterAShapeChangeMovesTheSurface)
{
    setsolidweight(solidweightof(0.0f));
    renderpreview(1, 1);
    std::vector<int> before(preview.height, preview.height + previewsize);
    setsolidweight(solidweightof(1.0f));
    renderpreview(0, 1);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), preview.height));
    renderpreview(1, 0);
    int raised = 0;
    for (int n = 0; n < previewsize; n++) {
        ASSERT_GE(preview.height[n], before[n]) << n;
        raised += preview.height[n] > before[n];
    }
    EXPECT_GT(raised, previewsize / 4);
}

TEST_F(PreviewTest, ResetLeavesABlackImageUntilTheNextRebuild)
{
    resetpreview();
    EXPECT_EQ(preview.lighting, 1);
    EXPECT_EQ(renderpreview(0, 1), 0);
    EXPECT_TRUE(std::all_of(preview.image, preview.image + previewsize, [](uint32_t p) { return p == 0; }));
    EXPECT_EQ(renderpreview(1, 1), 1);
    EXPECT_FALSE(std::all_of(preview.image, preview.image + previewsize, [](uint32_t p) { return p == 0; }));
}

}   // namespace

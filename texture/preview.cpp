#include "preview.h"
#include "evaluate.h"
#include "noise.h"
#include "packcolour.h"
#include "pointset.h"
#include "texscript.h"

#include "workers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

previewstate preview = {nullptr, nullptr, {}, {}, {}, {}, 1};

// Relief of a neighbour by its height relative to the centre (+3, clamped
// to 0..6): slopes just below the centre weigh most.
static const int relief[7] = {0, -2, -3, -3, -2, 0, 0};

static void freegrids()
{
    freegrid(preview.nearestgrid);
    freegrid(preview.fourgrid);
    preview.nearestgrid = nullptr;
    preview.fourgrid = nullptr;
}

void resetpreview()
{
    freegrids();
    std::memset(preview.cellclass, 0, sizeof preview.cellclass);
    std::memset(preview.height, 0, sizeof preview.height);
    std::memset(preview.shade, 0, sizeof preview.shade);
    std::memset(preview.image, 0, sizeof preview.image);
    preview.lighting = 1;
}

static int cellof(const pointgrid &g, int x, int y, int z)
{
    return ((x / previewcell) * g.ny + y / previewcell) * g.nz + z / previewcell;
}

int nearestair(const pointgrid &g, pointsource points, const int *airflags, int x, int y, int z)
{
    if (x < 0 || y < 0 || z < 0 || y / previewcell >= g.ny || z / previewcell >= g.nz)
        return 0;
    int cell = cellof(g, x, y, z);
    if (cell >= g.cellcount)
        return 0;
    float fx = float(x), fy = float(y), fz = float(z);
    float best = 1e30f;
    int winner = -1;
    for (int e = g.starts[cell]; e < g.starts[cell + 1]; e++) {
        const featurepoint &p = points.at(g.entries[e]);
        float dx = p.x - fx, dy = p.y - fy, dz = p.z - fz;
        float d = p.weight * (dx * dx + dy * dy + dz * dz);
        if (d < best) {
            best = d;
            winner = g.entries[e];
        }
    }
    return winner >= 0 ? airflags[winner] : 0;
}

// Top solid voxel of column (x, y): down through the column's cells from the
// top one, skipping air-only and empty cells whole, stopping at once in a
// solid-only cell and testing voxel by voxel only in mixed cells.
int columnheight(const pointgrid &g, const uint8_t *cellclass, pointsource points, const int *airflags, int x, int y)
{
    int cell = ((x >> 3) * g.ny + (y >> 3)) * g.nz + g.nz - 1;
    for (int z = g.nz * previewcell - 1; z >= 0; cell--) {
        uint8_t cls = cellclass[cell];
        if (cls == 1)
            return z;
        if (cls != 2) {
            z -= previewcell;
            continue;
        }
        for (int k = 0; k < previewcell; k++, z--)
            if (!nearestair(g, points, airflags, x, y, z))
                return z;
    }
    return 0;
}

// Both grids are of 32 x 32 x 32 cells of side 8 or not usable here.
static bool gridfits(const pointgrid *g)
{
    return g && g->cellcount == previewcellcount && g->ny == previewcells && g->nz == previewcells;
}

int rebuildpreview()
{
    freegrids();
    pointsource src = designsource();
    preview.nearestgrid = buildgrid(gridnearest, previewcell, previewside, previewside, previewside,
                                    designpointcount, designpoints.index, src);
    preview.fourgrid = buildgrid(gridfournearest, previewcell, previewside, previewside, previewside,
                                 designpointcount, designpoints.index, src);
    if (!gridfits(preview.nearestgrid) || !gridfits(preview.fourgrid)) {
        freegrids();
        std::memset(preview.height, 0, sizeof preview.height);
        return 0;
    }
    classifycells(*preview.nearestgrid, designpoints.air, preview.cellclass);
    for (int y = 0; y < previewside; y++)
        for (int x = 0; x < previewside; x++)
            preview.height[y * previewside + x] =
                columnheight(*preview.nearestgrid, preview.cellclass, src, designpoints.air, x, y);
    return 1;
}

lightfactors lightof(float lightangle)
{
    return {0.3f * std::cos(lightangle), 0.3f * std::sin(lightangle)};
}

float windowshade(const int h[5][5], lightfactors l)
{
    const int hc = h[2][2];
    int s = 0, gx = 0, gy = 0;
    for (int dr = 4; dr >= 0; dr--)
        for (int dc = 4; dc >= 0; dc--) {
            int d = h[dr][dc] - hc + 3;
            d = d < 0 ? 0 : d > 6 ? 6 : d;
            s += relief[d];
            gx += (dc - 2) * (d + 1);
            gy += (dr - 2) * (d + 1);
        }
    // The centre alone contributes -3, so the root is never 0.
    float dot = float(gy) * l.lx + float(gx) * l.ly + float(s);
    return 0.3f - dot / std::sqrt(float(s * s + gy * gy + gx * gx));
}

// The window whose top-left corner is row r, column c; it wraps around the
// map edges.
static float previewshade(int r, int c, lightfactors l)
{
    const int wrap = previewside - 1;
    int h[5][5];
    for (int dr = 0; dr < 5; dr++)
        for (int dc = 0; dc < 5; dc++)
            h[dr][dc] = preview.height[((r + dr) & wrap) * previewside + ((c + dc) & wrap)];
    return windowshade(h, l);
}

void lightpreview(float lightangle)
{
    lightfactors l = lightof(lightangle);
    const int wrap = previewside - 1;
    for (int r = 0; r < previewside; r++)
        for (int c = 0; c < previewside; c++)
            preview.shade[((r + 2) & wrap) * previewside + ((c + 2) & wrap)] = previewshade(r, c, l);
}

uint32_t surfacecolour(const nearestfour &n, float w, int vx, int vy, int vz, float shade, int lighting)
{
    if (n.first < 0)
        return 0;
    const texturescript &s = texscripts.script;
    float d[3], rgb[3];
    scaledistances(n.dist, w, d);
    if (texscripts.func) {
        double args[argcount];
        makeargs(args, vx, vy, vz, d, noiseat(vx, vy, vz), s.scale);
        texturesample(texscripts.func, args, s.channel, rgb);
    } else {
        fallbacksample(d, s.channel, s.scale, rgb);
    }
    if (lighting)
        for (float &v : rgb)
            v *= shade;
    return packcolour(rgb[0], rgb[1], rgb[2]);
}

// Colour of pixel (x, y) with its surface voxel z.
static uint32_t pixelcolour(const pointgrid &g, int x, int y, int z)
{
    pointsource src = designsource();
    nearestfour n = findfour(g, src, x, y, z);
    float w = n.first < 0 ? 0.0f : src.at(n.first).weight;
    return surfacecolour(n, w, x, y, z, preview.shade[y * previewside + x], preview.lighting);
}

// Colours the rows y0..y1-1 of the image. Each pixel depends only on the
// maps, the grid and the texture, so the rows may be coloured in any order
// and on any thread, except by an expression that draws random numbers.
// The x87 control word is set once for all of a band's calls (it belongs
// to the thread).
static void colourrows(int y0, int y1)
{
    const pointgrid &g = *preview.fourgrid;
    const uint16_t saved = exprcallsbegin();
    for (int y = y0; y < y1; y++)
        for (int x = 0; x < previewside; x++) {
            int n = y * previewside + x;
            preview.image[n] = pixelcolour(g, x, y, preview.height[n]);
        }
    exprcallsend(saved);
}

// ---- the colour stage on the pool's threads ---------------------------------

namespace {

constexpr int bandrows = 8;
constexpr int bandcount = previewside / bandrows;
constexpr int maxcolourthreads = 4;

int colourthreads = 0;      // 0: as many as the machine has, at most maxcolourthreads

} // namespace

int colourthreadcount()
{
    int n = colourthreads > 0 ? colourthreads : hardwarethreads();
    return std::clamp(n, 1, maxcolourthreads);
}

void setcolourthreads(int n)
{
    colourthreads = n;
}

// RND and NRND share one random state: an expression that draws from it is
// evaluated pixel by pixel in order, on this thread, as ever.
void colourpreview()
{
    derivechannels(texscripts.script);
    if (!preview.fourgrid) {
        std::memset(preview.image, 0, sizeof preview.image);
        return;
    }
    if (texscripts.func && exprdrawsrandom(texscripts.func))
        colourrows(0, previewside);
    else
        runparts(colourthreadcount(), bandcount, [](int b) { colourrows(b * bandrows, (b + 1) * bandrows); });
}

int renderpreview(int rebuild, int relight)
{
    int ok = 1;
    if (rebuild)
        ok = rebuildpreview();
    else
        ok = preview.fourgrid != nullptr;
    if (rebuild || relight)
        lightpreview(texscripts.script.lightangle);
    colourpreview();
    return ok;
}

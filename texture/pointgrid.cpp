#include "pointgrid.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

// One level of the hierarchy while it is being built.
struct level {
    int nx, ny, nz, side;
    int *starts;
    int *entries;
    int entrycount;
};

// Cell box on one axis: [lo, hi].
struct span {
    float lo, hi;
};

// Distance to the farther face of the box (the farthest a point can be from
// somewhere in the cell). On the upper half (the centre included) that is
// p - lo, else hi - p; the larger of the two is the same value, without a
// branch that the processor cannot predict.
inline float fardist(float p, span s)
{
    return std::max(p - s.lo, s.hi - p);
}

// Distance to the box (0 inside).
inline float neardist(float p, span s)
{
    return std::max(std::max(s.lo - p, p - s.hi), 0.0f);
}

// Bound that a candidate must beat: the smallest far distance (mode 2) or
// the fourth smallest (mode 1), from four slots starting at 1e30.
float candidatebound(int mode, const int *cand, int n, pointsource pts, span bx, span by, span bz)
{
    float slot[4] = {1e30f, 1e30f, 1e30f, 1e30f};
    float best = 1e30f;
    for (int i = 0; i < n; i++) {
        const featurepoint &p = pts.at(cand[i]);
        float dx = fardist(p.x, bx), dy = fardist(p.y, by), dz = fardist(p.z, bz);
        float f = p.weight * (dx * dx + dy * dy + dz * dz);
        if (mode == gridnearest) {
            if (f < best)
                best = f;
            continue;
        }
        if (!(f < slot[3]))
            continue;
        int k = 3;
        while (k > 0 && f < slot[k - 1]) {
            slot[k] = slot[k - 1];
            k--;
        }
        slot[k] = f;
    }
    return mode == gridnearest ? best : slot[3];
}

int ceildiv(int a, int b) { return (a + b - 1) / b; }

} // namespace

pointgrid *buildgrid(int mode, int mincell, int sx, int sy, int sz,
                     int pointcount, const int *indexlist, pointsource pts)
{
    // The root: one cell listing every point.
    int rootstarts[2] = {0, pointcount};
    level cur = {1, 1, 1, 0, rootstarts, const_cast<int *>(indexlist), pointcount};
    int gx = sx, gy = sy, gz = sz;   // side of the current level per axis
    bool owned = false;
    int g = (sx == sy && sy == sz) ? sx / 2 : std::min({sx, sy, sz});
    const float widen = mode == gridnearest ? 1.0f : 0.0f;

    while (g >= mincell && g > 0) {
        level next;
        next.nx = ceildiv(sx, g);
        next.ny = ceildiv(sy, g);
        next.nz = ceildiv(sz, g);
        next.side = g;
        size_t cells = size_t(next.nx) * next.ny * next.nz;
        // Every child list is a subset of its parent's list; size the first
        // level from the rounded-up cell counts so any box size fits.
        size_t capacity = owned ? size_t(cur.entrycount) * 8 : cells * size_t(pointcount);
        next.starts = static_cast<int *>(std::malloc((cells + 1) * sizeof(int)));
        next.entries = static_cast<int *>(std::malloc(std::max<size_t>(capacity, 1) * sizeof(int)));
        if (!next.starts || !next.entries) {
            std::free(next.starts);
            std::free(next.entries);
            if (owned) {
                std::free(cur.starts);
                std::free(cur.entries);
            }
            return nullptr;
        }
        size_t out = 0;
        next.starts[0] = 0;
        int c = 0;
        for (int x0 = 0; x0 < sx; x0 += g)
            for (int y0 = 0; y0 < sy; y0 += g)
                for (int z0 = 0; z0 < sz; z0 += g) {
                    int parent = owned ? ((x0 / gx) * cur.ny + y0 / gy) * cur.nz + z0 / gz : 0;
                    const int *cand = cur.entries + cur.starts[parent];
                    int n = cur.starts[parent + 1] - cur.starts[parent];
                    span bx = {float(x0) - widen, float(x0 + g)};
                    span by = {float(y0) - widen, float(y0 + g)};
                    span bz = {float(z0) - widen, float(z0 + g)};
                    float bound = candidatebound(mode, cand, n, pts, bx, by, bz);
                    for (int i = 0; i < n; i++) {
                        const featurepoint &p = pts.at(cand[i]);
                        float dx = neardist(p.x, bx), dy = neardist(p.y, by), dz = neardist(p.z, bz);
                        float d = p.weight * (dx * dx + dy * dy + dz * dz);
                        if (d < bound)
                            next.entries[out++] = cand[i];
                    }
                    next.starts[++c] = int(out);
                }
        next.entrycount = int(out);
        if (owned) {
            std::free(cur.starts);
            std::free(cur.entries);
        }
        cur = next;
        owned = true;
        gx = gy = gz = g;
        g >>= 1;
    }

    pointgrid *grid = new (std::nothrow) pointgrid;
    if (!grid) {
        if (owned) {
            std::free(cur.starts);
            std::free(cur.entries);
        }
        return nullptr;
    }
    grid->cellcount = cur.nx * cur.ny * cur.nz;
    grid->entrycount = cur.entrycount;
    grid->ny = cur.ny;
    grid->nz = cur.nz;
    if (owned) {
        grid->starts = cur.starts;
        grid->entries = cur.entries;
    } else {
        // No level was built: the grid is the root, with lists of its own.
        grid->starts = static_cast<int *>(std::malloc(2 * sizeof(int)));
        grid->entries = static_cast<int *>(std::malloc(std::max(pointcount, 1) * sizeof(int)));
        if (!grid->starts || !grid->entries) {
            freegrid(grid);
            return nullptr;
        }
        grid->starts[0] = 0;
        grid->starts[1] = pointcount;
        std::copy(indexlist, indexlist + pointcount, grid->entries);
    }
    return grid;
}

void freegrid(pointgrid *g)
{
    if (!g)
        return;
    std::free(g->starts);
    std::free(g->entries);
    delete g;
}

void classifycells(const pointgrid &g, const int *airflags, uint8_t *out)
{
    for (int c = 0; c < g.cellcount; c++) {
        int bits = 0;
        for (int e = g.starts[c]; e < g.starts[c + 1]; e++)
            bits |= airflags[g.entries[e]] ? 1 : 2;
        out[c] = uint8_t(bits - 1);
    }
}

// The point grid, built a level at a time from the level above. A level's
// cells are visited in numbering order a slab of parents at a time (all the
// parents with one x index): the slab's candidates are gathered once into
// arrays of x, y, z and weight, and the squared distances of every
// candidate to the faces of each child cell are worked out once per axis,
// so a cell only adds three squares and weighs them. The float operations
// and their order are those of w * (dx*dx + dy*dy + dz*dz) per candidate, so
// the lists are the same whichever way the work is split; slabs go to
// threads in parts and the parts are joined in cell order.
#include "pointgrid.h"
#include "hugepages.h"
#include "lanes.h"
#include "workers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace {

// ---------------------------------------------------------------- levels

// One level of cells. It owns its two arrays; freelevel releases them.
struct gridlevel {
    int nx, ny, nz;
    int side;       // cell side; 0 for the root, one cell over the whole box
    int *starts;    // cell count + 1
    int *entries;
    int entrycount;
};

void freelevel(gridlevel &l)
{
    std::free(l.starts);
    std::free(l.entries);
    l.starts = l.entries = nullptr;
}

int cellsof(const gridlevel &l)
{
    return l.nx * l.ny * l.nz;
}

// The root: one cell listing every point in list order, in arrays of its own.
bool makeroot(int pointcount, const int *indexlist, gridlevel &root)
{
    root = {1, 1, 1, 0, nullptr, nullptr, pointcount};
    root.starts = static_cast<int *>(std::malloc(2 * sizeof(int)));
    root.entries = static_cast<int *>(std::malloc(size_t(std::max(pointcount, 1)) * sizeof(int)));
    if (!root.starts || !root.entries) {
        freelevel(root);
        return false;
    }
    root.starts[0] = 0;
    root.starts[1] = pointcount;
    if (pointcount > 0)
        std::memcpy(root.entries, indexlist, size_t(pointcount) * sizeof(int));
    return true;
}

// An int array for a level's lists: a level is written once from end to
// end, and paging it in 4 KB at a time costs a fifth of the build.
int *listarray(size_t count)
{
    return static_cast<int *>(hugealloc(std::max<size_t>(count, 1) * sizeof(int)));
}

// ---------------------------------------------------------------- distances

// Squared distance to the farther face of [lo, hi] (the farthest a point
// can be from somewhere in the cell: on the upper half, the centre
// included, p - lo, else hi - p; the larger of the two is that value) and to
// the box (0 inside). The vector forms below make the same choices.
inline float farsquare(float p, float lo, float hi)
{
    float a = p - lo, b = hi - p;
    float d = a < b ? b : a;
    return d * d;
}

inline float nearsquare(float p, float lo, float hi)
{
    float a = lo - p, b = p - hi;
    float d = a < b ? b : a;
    d = d < 0.0f ? 0.0f : d;
    return d * d;
}

// far[i] and near[i] for the coordinates p[0 .. n-1] and the span [lo, hi].
void spansquares(const float *p, int n, float lo, float hi, float *far, float *near)
{
    int i = 0;
    const float4 vlo = {lo, lo, lo, lo}, vhi = {hi, hi, hi, hi}, zero = {0, 0, 0, 0};
    for (; i + 4 <= n; i += 4) {
        float4 v = load4(p + i);
        float4 a = v - vlo, b = vhi - v;
        float4 f = a < b ? b : a;
        store4(far + i, f * f);
        a = vlo - v;
        b = v - vhi;
        float4 d = a < b ? b : a;
        d = d < zero ? zero : d;
        store4(near + i, d * d);
    }
    for (; i < n; i++) {
        far[i] = farsquare(p[i], lo, hi);
        near[i] = nearsquare(p[i], lo, hi);
    }
}

// out[i] = w[i] * ((a[i] + b[i]) + c[i]).
void weighsquares(const float *w, const float *a, const float *b, const float *c, int n, float *out)
{
    int i = 0;
    for (; i + 4 <= n; i += 4)
        store4(out + i, load4(w + i) * ((load4(a + i) + load4(b + i)) + load4(c + i)));
    for (; i < n; i++)
        out[i] = w[i] * ((a[i] + b[i]) + c[i]);
}

// Bound that a candidate must beat: the smallest far distance (mode 2) or
// the fourth smallest (mode 1, four slots that start at 1e30, strict
// comparisons), over far[0 .. n-1].
float candidatebound(int mode, const float *far, int n)
{
    if (mode == gridnearest) {
        float best = 1e30f;
        int i = 0;
        if (n >= 4) {
            float4 m = load4(far);
            for (i = 4; i + 4 <= n; i += 4) {
                float4 v = load4(far + i);
                m = v < m ? v : m;
            }
            for (int k = 0; k < 4; k++)
                if (m[k] < best)
                    best = m[k];
        }
        for (; i < n; i++)
            if (far[i] < best)
                best = far[i];
        return best;
    }
    float slot[4] = {1e30f, 1e30f, 1e30f, 1e30f};
    for (int i = 0; i < n; i++) {
        float f = far[i];
        if (!(f < slot[3]))
            continue;
        int k = 3;
        while (k > 0 && f < slot[k - 1]) {
            slot[k] = slot[k - 1];
            k--;
        }
        slot[k] = f;
    }
    return slot[3];
}

// ---------------------------------------------------------------- one level

// Children of each parent along one axis: child i has the parent whose
// cell holds its low corner, i * g / G (the root: 0).
struct axismap {
    std::vector<int> parent;       // per child
    std::vector<int> first, end;   // per parent: its children first .. end - 1
    int most;                      // most children of one parent
};

axismap mapaxis(int children, int parents, int g, int G)
{
    axismap m;
    m.parent.resize(size_t(children));
    m.first.assign(size_t(parents), 0);
    m.end.assign(size_t(parents), 0);
    for (int i = children - 1; i >= 0; i--) {
        int p = G ? int(long(i) * g / G) : 0;
        m.parent[size_t(i)] = p;
        m.first[size_t(p)] = i;
        if (m.end[size_t(p)] == 0)
            m.end[size_t(p)] = i + 1;
    }
    m.most = 0;
    for (int p = 0; p < parents; p++)
        m.most = std::max(m.most, m.end[size_t(p)] - m.first[size_t(p)]);
    return m;
}

// Everything a level's build reads.
struct levelplan {
    int mode;
    int nx, ny, nz, g;
    float widen;           // mode 2 widens the low faces by one unit
    pointsource pts;
    const gridlevel *parent;
    axismap xs, ys, zs;
};

// The children of a run of parent slabs, in cell order. A part that starts
// when every part before it is in the level writes straight into the
// level's array; one that runs ahead writes into an array of its own,
// copied into the level when its turn comes.
struct alignas(cacheline) levelpart {
    int firstslab, endslab;
    int firstcell;             // its cells are firstcell .. firstcell + ends.size() - 1
    size_t capacity;           // the most entries its cells can keep
    int *list;                 // where its lists go
    int *own;                  // list, when it ran ahead (else nullptr)
    std::vector<int> ends;     // per cell: end of its list within `list`
    bool done, failed;
};

// Scratch of one slab: its candidates and their squared face distances,
// [child k * n + candidate i] per axis.
struct slabwork {
    std::vector<float> x, y, z, w;
    std::vector<float> farx, nearx, fary, neary, farz, nearz;
    std::vector<float> far, near;
};

// Slab scratch of finished parts, for the next parts of any level.
struct scratchpool {
    std::mutex lock;
    std::vector<std::unique_ptr<slabwork>> spare;

    std::unique_ptr<slabwork> take()
    {
        std::lock_guard<std::mutex> hold(lock);
        if (spare.empty())
            return std::make_unique<slabwork>();
        std::unique_ptr<slabwork> s = std::move(spare.back());
        spare.pop_back();
        return s;
    }
    void give(std::unique_ptr<slabwork> s)
    {
        std::lock_guard<std::mutex> hold(lock);
        spare.push_back(std::move(s));
    }
};

// The parts of one level and how far they are in it.
struct levelparts {
    std::mutex lock;
    std::vector<levelpart> part;
    int published;             // parts already in the level, in order
    size_t filled;             // entries already in the level
    gridlevel *next;
};

// Candidates of the slab's parents px, with the distances to every child span.
void prepareslab(const levelplan &p, int px, int e0, int n, slabwork &s)
{
    const gridlevel &up = *p.parent;
    const int *index = up.entries + e0;
    s.x.resize(size_t(n));
    s.y.resize(size_t(n));
    s.z.resize(size_t(n));
    s.w.resize(size_t(n));
    for (int i = 0; i < n; i++) {
        const featurepoint &q = p.pts.at(index[i]);
        s.x[size_t(i)] = q.x;
        s.y[size_t(i)] = q.y;
        s.z[size_t(i)] = q.z;
        s.w[size_t(i)] = q.weight;
    }
    auto span = [&p](int child, float &lo, float &hi) {
        lo = float(child * p.g) - p.widen;
        hi = float(child * p.g + p.g);
    };
    float lo, hi;
    s.farx.resize(size_t(p.xs.most) * size_t(n));
    s.nearx.resize(s.farx.size());
    for (int ix = p.xs.first[size_t(px)]; ix < p.xs.end[size_t(px)]; ix++) {
        size_t k = size_t(ix - p.xs.first[size_t(px)]) * size_t(n);
        span(ix, lo, hi);
        spansquares(s.x.data(), n, lo, hi, s.farx.data() + k, s.nearx.data() + k);
    }
    // Along y and z only the candidates of the children's own parents count.
    s.fary.resize(size_t(p.ys.most) * size_t(n));
    s.neary.resize(s.fary.size());
    s.farz.resize(size_t(p.zs.most) * size_t(n));
    s.nearz.resize(s.farz.size());
    const int slab = px * up.ny * up.nz;
    for (int py = 0; py < up.ny; py++) {
        int b0 = up.starts[slab + py * up.nz] - e0, b1 = up.starts[slab + (py + 1) * up.nz] - e0;
        for (int iy = p.ys.first[size_t(py)]; iy < p.ys.end[size_t(py)]; iy++) {
            size_t k = size_t(iy - p.ys.first[size_t(py)]) * size_t(n) + size_t(b0);
            span(iy, lo, hi);
            spansquares(s.y.data() + b0, b1 - b0, lo, hi, s.fary.data() + k, s.neary.data() + k);
        }
        for (int pz = 0; pz < up.nz; pz++) {
            int c = slab + py * up.nz + pz;
            int c0 = up.starts[c] - e0, c1 = up.starts[c + 1] - e0;
            for (int iz = p.zs.first[size_t(pz)]; iz < p.zs.end[size_t(pz)]; iz++) {
                size_t k = size_t(iz - p.zs.first[size_t(pz)]) * size_t(n) + size_t(c0);
                span(iz, lo, hi);
                spansquares(s.z.data() + c0, c1 - c0, lo, hi, s.farz.data() + k, s.nearz.data() + k);
            }
        }
    }
}

// The children of slab px, in cell order, appended to the part's lists
// from entry `used` on; returns the new count.
size_t buildslab(const levelplan &p, int px, slabwork &s, levelpart &out, size_t used)
{
    const gridlevel &up = *p.parent;
    const int slab = px * up.ny * up.nz;
    const int e0 = up.starts[slab], n = up.starts[slab + up.ny * up.nz] - e0;
    prepareslab(p, px, e0, n, s);
    s.far.resize(size_t(n));
    s.near.resize(size_t(n));
    const int *index = up.entries + e0;
    for (int ix = p.xs.first[size_t(px)]; ix < p.xs.end[size_t(px)]; ix++) {
        const size_t kx = size_t(ix - p.xs.first[size_t(px)]) * size_t(n);
        for (int iy = 0; iy < p.ny; iy++) {
            const int py = p.ys.parent[size_t(iy)];
            const size_t ky = size_t(iy - p.ys.first[size_t(py)]) * size_t(n);
            for (int iz = 0; iz < p.nz; iz++) {
                const int pz = p.zs.parent[size_t(iz)];
                const size_t kz = size_t(iz - p.zs.first[size_t(pz)]) * size_t(n);
                const int c = slab + py * up.nz + pz;
                const int b0 = up.starts[c] - e0, m = up.starts[c + 1] - up.starts[c];
                weighsquares(s.w.data() + b0, s.farx.data() + kx + b0, s.fary.data() + ky + b0,
                             s.farz.data() + kz + b0, m, s.far.data());
                const float bound = candidatebound(p.mode, s.far.data(), m);
                weighsquares(s.w.data() + b0, s.nearx.data() + kx + b0, s.neary.data() + ky + b0,
                             s.nearz.data() + kz + b0, m, s.near.data());
                // Always store, advance only past a kept candidate.
                int *list = out.list + used;
                int kept = 0;
                for (int i = 0; i < m; i++) {
                    list[kept] = index[b0 + i];
                    kept += s.near[size_t(i)] < bound;
                }
                used += size_t(kept);
                out.ends.push_back(int(used));
            }
        }
    }
    return used;
}

// Entries the children of slab px can keep at most: each child's list is a
// part of its parent's.
size_t slabcapacity(const levelplan &p, int px)
{
    const gridlevel &up = *p.parent;
    size_t total = 0;
    for (int py = 0; py < up.ny; py++)
        for (int pz = 0; pz < up.nz; pz++) {
            int c = (px * up.ny + py) * up.nz + pz;
            size_t children = size_t(p.ys.end[size_t(py)] - p.ys.first[size_t(py)]) *
                              size_t(p.zs.end[size_t(pz)] - p.zs.first[size_t(pz)]);
            total += children * size_t(up.starts[c + 1] - up.starts[c]);
        }
    return total * size_t(p.xs.end[size_t(px)] - p.xs.first[size_t(px)]);
}

// Parts that are done go into the level in order: their starts, and their
// lists unless they were written there already. Called with the lock held.
void publishparts(levelparts &lp)
{
    while (lp.published < int(lp.part.size()) && lp.part[size_t(lp.published)].done) {
        levelpart &part = lp.part[size_t(lp.published)];
        const size_t count = part.ends.empty() ? 0 : size_t(part.ends.back());
        if (part.own && count > 0)
            std::memcpy(lp.next->entries + lp.filled, part.own, count * sizeof(int));
        for (size_t j = 0; j < part.ends.size(); j++)
            lp.next->starts[size_t(part.firstcell) + j + 1] = int(lp.filled + size_t(part.ends[j]));
        lp.filled += count;
        std::free(part.own);
        part.own = nullptr;
        std::vector<int>().swap(part.ends);
        lp.published++;
    }
}

// One part: its slabs, then into the level as soon as its turn has come.
void buildpart(const levelplan &p, levelparts &lp, scratchpool &pool, int k)
{
    levelpart &part = lp.part[size_t(k)];
    {
        std::lock_guard<std::mutex> hold(lp.lock);
        if (lp.published == k) {
            part.list = lp.next->entries + lp.filled;
        } else {
            part.own = listarray(part.capacity);
            part.list = part.own;
        }
    }
    try {
        if (!part.list)
            throw std::bad_alloc();
        std::unique_ptr<slabwork> s = pool.take();
        size_t used = 0;
        for (int px = part.firstslab; px < part.endslab; px++)
            used = buildslab(p, px, *s, part, used);
        pool.give(std::move(s));
    } catch (const std::bad_alloc &) {
        part.failed = true;
        return;
    }
    std::lock_guard<std::mutex> hold(lp.lock);
    part.done = true;
    publishparts(lp);
}

// The level of side g below `up`, or false when memory ran out. Its entry
// array is sized for the most its cells can keep (pages that are never
// written cost nothing) and cut to size at the end.
bool buildlevel(int threads, bool helped, int mode, int g, int sx, int sy, int sz, pointsource pts,
                const gridlevel &up, scratchpool &pool, gridlevel &next)
{
    next = {(sx + g - 1) / g, (sy + g - 1) / g, (sz + g - 1) / g, g, nullptr, nullptr, 0};
    levelparts lp;
    lp.published = 0;
    lp.filled = 0;
    lp.next = &next;
    bool ok = true;
    try {
        levelplan p{mode, next.nx, next.ny, next.nz, g, mode == gridnearest ? 1.0f : 0.0f, pts, &up,
                    mapaxis(next.nx, up.nx, g, up.side), mapaxis(next.ny, up.ny, g, up.side),
                    mapaxis(next.nz, up.nz, g, up.side)};
        // A few parts per thread, each a run of whole slabs; a thread
        // waiting for an enclosing job may lend a hand.
        const int count = threads <= 1 && !helped ? 1 : std::min(up.nx, 4 * std::max(threads, 2));
        size_t capacity = 0;
        int cell = 0;
        lp.part.resize(size_t(count));
        for (int k = 0; k < count; k++) {
            levelpart &part = lp.part[size_t(k)];
            part = {up.nx * k / count, up.nx * (k + 1) / count, cell, 0, nullptr, nullptr, {}, false, false};
            for (int px = part.firstslab; px < part.endslab; px++) {
                part.capacity += slabcapacity(p, px);
                cell += (p.xs.end[size_t(px)] - p.xs.first[size_t(px)]) * next.ny * next.nz;
            }
            capacity += part.capacity;
        }
        next.starts = listarray(size_t(cellsof(next)) + 1);
        next.entries = listarray(capacity);
        if (!next.starts || !next.entries || cell != cellsof(next))
            throw std::bad_alloc();
        next.starts[0] = 0;
        runparts(threads, count, [&](int k) { buildpart(p, lp, pool, k); });
    } catch (const std::bad_alloc &) {
        ok = false;
    }
    for (levelpart &part : lp.part) {
        ok = ok && part.done && !part.failed;
        std::free(part.own);
    }
    if (!ok || lp.filled > size_t(0x7FFFFFFF)) {
        freelevel(next);
        return false;
    }
    next.entrycount = int(lp.filled);
    if (void *cut = std::realloc(next.entries, std::max<size_t>(lp.filled, 1) * sizeof(int)))
        next.entries = static_cast<int *>(cut);
    return true;
}

} // namespace

pointgrid *buildgrid(int mode, int mincell, int sx, int sy, int sz,
                     int pointcount, const int *indexlist, pointsource pts)
{
    return buildgridon(1, mode, mincell, sx, sy, sz, pointcount, indexlist, pts);
}

pointgrid *buildgridon(int threads, int mode, int mincell, int sx, int sy, int sz,
                       int pointcount, const int *indexlist, pointsource pts, bool helped)
{
    gridlevel cur;
    if (!makeroot(pointcount, indexlist, cur))
        return nullptr;
    scratchpool pool;
    for (int g = (sx == sy && sy == sz) ? sx / 2 : std::min({sx, sy, sz}); g >= mincell && g > 0; g >>= 1) {
        gridlevel next;
        bool built = false;
        try {
            built = buildlevel(threads, helped, mode, g, sx, sy, sz, pts, cur, pool, next);
        } catch (const std::bad_alloc &) {
        }
        freelevel(cur);
        if (!built)
            return nullptr;
        cur = next;
    }
    pointgrid *grid = new (std::nothrow) pointgrid;
    if (!grid) {
        freelevel(cur);
        return nullptr;
    }
    *grid = {cellsof(cur), cur.entrycount, cur.starts, cur.entries, cur.ny, cur.nz};
    return grid;
}

int boxcandidates(int mode, const float lo[3], const float hi[3], int count, const int *indexlist,
                  pointsource pts, int *out, float *bound)
{
    const float widen = mode == gridnearest ? 1.0f : 0.0f;
    std::vector<float> c[3], far[3], near[3];
    std::vector<float> w(static_cast<size_t>(count)), total(static_cast<size_t>(count));
    for (int a = 0; a < 3; a++) {
        c[a].resize(size_t(count));
        far[a].resize(size_t(count));
        near[a].resize(size_t(count));
    }
    for (int i = 0; i < count; i++) {
        const featurepoint &p = pts.at(indexlist[i]);
        c[0][size_t(i)] = p.x;
        c[1][size_t(i)] = p.y;
        c[2][size_t(i)] = p.z;
        w[size_t(i)] = p.weight;
    }
    for (int a = 0; a < 3; a++)
        spansquares(c[a].data(), count, lo[a] - widen, hi[a], far[a].data(), near[a].data());
    weighsquares(w.data(), far[0].data(), far[1].data(), far[2].data(), count, total.data());
    *bound = candidatebound(mode, total.data(), count);
    weighsquares(w.data(), near[0].data(), near[1].data(), near[2].data(), count, total.data());
    int kept = 0;
    for (int i = 0; i < count; i++) {
        out[kept] = indexlist[i];
        kept += total[size_t(i)] < *bound;
    }
    return kept;
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

// Rendering a surface of any side a block of columns at a time.
//
// The whole surface's point grids would not fit a large side (the two grids
// of 4096 x 4096 columns hold hundreds of millions of entries), so the
// columns are cut into blocks of about the preview's size, and each block
// builds its grid from the points that can matter there and drops it when
// done. Two passes, a row of blocks per step of a job:
//
//   heights   the row's blocks on the pool's threads: each its nearest grid
//             and its columns' heights into the height map, which spans
//             the area and a ring of two columns around it (the lighting's
//             window reads them)
//   colours   the row's four-nearest grids, then its rows in bands on the
//             pool (in row order on this thread for an expression that
//             draws random numbers), handed to the sink
//
// Blocks: the columns -2 .. side + 1 of each axis are cut into spans of 256
// from -2 on, the last span taking what is left (256 to 511); a span shorter
// than 256 (a small side) has a box of 256. Pixels are found the same
// whichever block answers, so the cut changes no pixel.
#include "surface.h"
#include "preview.h"
#include "texscript.h"

#include "compiler.h"
#include "workers.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <new>

namespace {

constexpr int ringwidth = 2;            // columns around the area the lighting reads
constexpr int blockspan = 256;          // columns of a block along each axis
constexpr int boxheight = 256;          // the grids' box along z: the heights' range
constexpr int bandrows = 8;             // rows coloured as one part

// The blocks along one axis of a surface.
struct blockaxis {
    int count;

    explicit blockaxis(int side) : count(std::max(1, (side + 2 * ringwidth) / blockspan)) {}
    int start(int i) const { return -ringwidth + i * blockspan; }
    int end(int i, int side) const { return i == count - 1 ? side + ringwidth : start(i + 1); }
    int boxsize(int i, int side) const { return std::max(blockspan, end(i, side) - start(i)); }
    int of(int c) const { return std::min((c + ringwidth) / blockspan, count - 1); }
};

// The heights of the area and its ring, row by row from row and column -2.
struct heightmap {
    int stride;
    std::vector<uint8_t> h;

    uint8_t &at(int x, int y) { return h[size_t(y + ringwidth) * size_t(stride) + size_t(x + ringwidth)]; }
};

float shadeat(heightmap &m, int x, int y, lightfactors l)
{
    int window[5][5];
    for (int dr = 0; dr < 5; dr++)
        for (int dc = 0; dc < 5; dc++)
            window[dr][dc] = m.at(x - 2 + dc, y - 2 + dr);
    return windowshade(window, l);
}

void setwhy(char *why, size_t whysize, const char *text)
{
    if (whysize)
        std::snprintf(why, whysize, "%s", text);
}

// What the colour pass of one row of blocks reads.
struct colourrow {
    const surfacepoints *points;
    const blockaxis *axis;
    heightmap *heights;
    std::vector<surfaceblock> blocks;   // the row's blocks, by column
    lightfactors light;
    int lighting;
    int y0;                             // the first row of `pixels`
    std::vector<uint32_t> pixels;
};

void coloursurfacerows(colourrow &r, int y0, int y1)
{
    const int n = r.points->side;
    const uint16_t saved = exprcallsbegin();
    for (int y = y0; y < y1; y++) {
        uint32_t *out = r.pixels.data() + size_t(y - r.y0) * size_t(n);
        for (int x = 0; x < n; x++) {
            const surfaceblock &b = r.blocks[size_t(r.axis->of(x))];
            int z = r.heights->at(x, y);
            nearestfour f = blockfour(b, x, y, z);
            float w = f.first < 0 ? 0.0f : b.points[size_t(f.first)].weight;
            out[x] = surfacecolour(f, w, x, y, z, shadeat(*r.heights, x, y, r.light), r.lighting);
        }
    }
    exprcallsend(saved);
}

} // namespace

// The points of the squares within `reach` columns of the box
// [x0, x0 + w) x [y0, y0 + h), in index order; false when that is every point.
static bool gatherpoints(const surfacepoints &s, int x0, int y0, int w, int h, int reach, std::vector<int> &out)
{
    auto span = [&](int lo, int hi, int &first, int &last) {
        first = std::max(0, (lo - reach - s.bucketorigin) / surfacebucketside);
        last = std::min(s.buckets - 1, (hi + reach - 1 - s.bucketorigin) / surfacebucketside);
        return first == 0 && last == s.buckets - 1;
    };
    int i0, i1, j0, j1;
    const bool allx = span(x0, x0 + w, i0, i1);
    const bool ally = span(y0, y0 + h, j0, j1);
    out.clear();
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++) {
            const int b = j * s.buckets + i;
            out.insert(out.end(), s.bucketentries.begin() + s.bucketstarts[size_t(b)],
                       s.bucketentries.begin() + s.bucketstarts[size_t(b) + 1]);
        }
    std::sort(out.begin(), out.end());
    return !(allx && ally);
}

// The candidates of a block's box: those of the points near it, as many
// as the bound allows to leave out (every point farther than `reach` is at
// least minweight (reach - 1)^2 from the box, mode 2's widened face
// included); then the whole set.
static int blockcandidates(const surfacepoints &s, int mode, int x0, int y0, int w, int h, std::vector<int> &list,
                           std::vector<int> &kept)
{
    const float lo[3] = {float(x0), float(y0), 0.0f};
    const float hi[3] = {float(x0 + w), float(y0 + h), float(boxheight)};
    const pointsource src = {reinterpret_cast<const unsigned char *>(s.points.data()), sizeof(featurepoint)};
    for (int reach = blockspan;; reach *= 2) {
        bool part = gatherpoints(s, x0, y0, w, h, reach, list);
        kept.resize(list.size());
        float bound;
        int m = boxcandidates(mode, lo, hi, int(list.size()), list.data(), src, kept.data(), &bound);
        float beyond = float(reach - 1) * float(reach - 1);
        if (!part || s.minweight * beyond >= bound)
            return m;
    }
}

bool buildblock(surfaceblock &b, const surfacepoints &s, int mode, int x0, int y0, int w, int h)
{
    freeblock(b);
    b.x0 = x0;
    b.y0 = y0;
    try {
        std::vector<int> list, kept;
        const int m = blockcandidates(s, mode, x0, y0, w, h, list, kept);
        b.points.resize(size_t(m));
        b.air.resize(size_t(m));
        for (int k = 0; k < m; k++) {
            featurepoint p = s.points[size_t(kept[size_t(k)])];
            p.x -= float(x0);
            p.y -= float(y0);
            b.points[size_t(k)] = p;
            b.air[size_t(k)] = s.air[size_t(kept[size_t(k)])];
            kept[size_t(k)] = k;
        }
        pointsource local = {reinterpret_cast<const unsigned char *>(b.points.data()), sizeof(featurepoint)};
        b.grid = buildgrid(mode, previewcell, w, h, boxheight, m, kept.data(), local);
        if (b.grid && mode == gridnearest) {
            b.cellclass.resize(size_t(b.grid->cellcount));
            classifycells(*b.grid, b.air.data(), b.cellclass.data());
        }
    } catch (const std::bad_alloc &) {
        freeblock(b);
    }
    return b.grid != nullptr;
}

void freeblock(surfaceblock &b)
{
    freegrid(b.grid);
    b.grid = nullptr;
    std::vector<featurepoint>().swap(b.points);
    std::vector<int>().swap(b.air);
    std::vector<uint8_t>().swap(b.cellclass);
}

static pointsource sourceof(const surfaceblock &b)
{
    return {reinterpret_cast<const unsigned char *>(b.points.data()), sizeof(featurepoint)};
}

nearestfour blockfour(const surfaceblock &b, int x, int y, int z)
{
    return findfour(*b.grid, sourceof(b), x - b.x0, y - b.y0, z);
}

int blockheight(const surfaceblock &b, int x, int y)
{
    return columnheight(*b.grid, b.cellclass.data(), sourceof(b), b.air.data(), x - b.x0, y - b.y0);
}

// ---- a render in steps -------------------------------------------------------

// Everything a job keeps between its steps.
struct surfacework {
    surfacepoints points;
    blockaxis axis{1};
    heightmap heights;
    colourrow row;
    int threads;
    bool inorder;           // the expression draws random numbers: pixels in row order
};

// The heights of block (i, j)'s columns; false when memory ran out.
static bool blockheights(surfacework &w, int i, int j)
{
    const int n = w.points.side;
    const blockaxis &a = w.axis;
    surfaceblock b;
    if (!buildblock(b, w.points, gridnearest, a.start(i), a.start(j), a.boxsize(i, n), a.boxsize(j, n)))
        return false;
    for (int y = a.start(j); y < a.end(j, n); y++)
        for (int x = a.start(i); x < a.end(i, n); x++)
            w.heights.at(x, y) = uint8_t(blockheight(b, x, y));
    freeblock(b);
    return true;
}

// The heights pass of block row j, its blocks on the pool.
static bool rowheights(surfacework &w, int j)
{
    std::atomic<bool> failed{false};
    runparts(w.threads, w.axis.count, [&](int i) {
        if (!failed.load() && !blockheights(w, i, j))
            failed.store(true);
    });
    return !failed.load();
}

// The colour pass of block row j: its blocks' grids, then its rows of the
// area, to the sink. 1 done, 0 out of memory, -1 the sink stopped.
static int rowcolours(surfacework &w, int j, surfacesink sink)
{
    colourrow &r = w.row;
    struct dropblocks {
        colourrow &r;
        ~dropblocks()
        {
            for (surfaceblock &b : r.blocks)
                freeblock(b);
        }
    } drop{r};
    const int n = w.points.side;
    const blockaxis &a = w.axis;
    std::atomic<bool> failed{false};
    runparts(w.threads, a.count, [&](int i) {
        if (!buildblock(r.blocks[size_t(i)], w.points, gridfournearest, a.start(i), a.start(j), a.boxsize(i, n),
                        a.boxsize(j, n)))
            failed.store(true);
    });
    if (failed.load())
        return 0;
    const int y0 = std::max(a.start(j), 0), y1 = std::min(a.end(j, n), n);
    r.y0 = y0;
    if (w.inorder) {
        coloursurfacerows(r, y0, y1);
    } else {
        const int bands = (y1 - y0 + bandrows - 1) / bandrows;
        runparts(w.threads, bands, [&](int k) { coloursurfacerows(r, y0 + k * bandrows, std::min(y0 + (k + 1) * bandrows, y1)); });
    }
    for (surfaceblock &b : r.blocks)
        freeblock(b);
    if (y1 > y0 && !sink.take(sink.context, r.pixels.data(), (y1 - y0) * n))
        return -1;
    return 1;
}

int surfacebegin(surfacejob &j, const surfaceoptions &o)
{
    surfaceend(j);
    try {
        j.work = new surfacework;
        surfacework &w = *j.work;
        derivechannels(texscripts.script);
        makesurfacepoints(w.points, o, texscripts.script.solidweight);
        w.axis = blockaxis(o.side);
        w.heights.stride = o.side + 2 * ringwidth;
        w.heights.h.assign(size_t(w.heights.stride) * size_t(w.heights.stride), 0);
        w.row = {&w.points, &w.axis, &w.heights, std::vector<surfaceblock>(size_t(w.axis.count)),
                 lightof(texscripts.script.lightangle), preview.lighting, 0, {}};
        w.row.pixels.resize(size_t(2 * blockspan) * size_t(o.side));
        w.threads = colourthreadcount();
        w.inorder = texscripts.func && exprdrawsrandom(texscripts.func);
    } catch (const std::bad_alloc &) {
        surfaceend(j);
        setwhy(j.why, sizeof j.why, "out of memory for the surface");
        return 0;
    }
    j.steps = 2 * j.work->axis.count;
    j.done = 0;
    return 1;
}

int surfacestep(surfacejob &j, surfacesink sink)
{
    if (!j.work)
        return 0;
    surfacework &w = *j.work;
    const int rows = w.axis.count;
    int ok = j.done < rows ? (rowheights(w, j.done) ? 1 : 0) : rowcolours(w, j.done - rows, sink);
    if (ok == 0)
        setwhy(j.why, sizeof j.why, "out of memory building the point grids");
    if (ok <= 0) {
        surfaceend(j);
        return -1;
    }
    if (++j.done < j.steps)
        return 1;
    surfaceend(j);
    return 0;
}

void surfaceend(surfacejob &j)
{
    delete j.work;
    j.work = nullptr;
}

int rendersurface(const surfaceoptions &o, surfacesink sink, char *why, size_t whysize)
{
    setwhy(why, whysize, "");
    surfacejob j;
    if (!surfacebegin(j, o)) {
        setwhy(why, whysize, j.why);
        return 0;
    }
    int more;
    while ((more = surfacestep(j, sink)) > 0) {
    }
    if (more < 0)
        setwhy(why, whysize, j.why);
    return more == 0;
}

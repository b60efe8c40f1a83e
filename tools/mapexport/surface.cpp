// The surface of a tile: faces found with bit masks, 256 voxels of a column
// at a time, then merged plane by plane.
//
// Each column is four 64-bit words, bit z set for a solid voxel. The faces
// looking up are the solid bits whose bit above is clear, and so on; the
// sideways faces compare a column with its neighbour. A neighbour outside
// the region counts as solid, so the region's boundary gets no faces.
//
// Merging works on a plane of rows of bits (a row is a column's z bits for
// the sideways faces, a row of columns' bits for the faces looking up or
// down): take the first run of set bits in a row, grow it over the following
// rows while they hold the whole run, clear what it covered, go on.
#include "surface.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace {

struct bits256 {
    uint64_t w[4];
};

// A tile's columns and the planes of its faces.
struct tilework {
    int nx, ny;
    std::vector<bits256> solid;       // (nx + 2) x (ny + 2): the tile and a ring of neighbours
    std::vector<bits256> coloured;    // nx x ny
    std::vector<uint32_t> first;      // nx x ny: where the column's colours begin in colours
    std::vector<uint32_t> colours;
    uint64_t zplanes[2][mapheight][tileside];       // up, down: [z][local y] bits of local x
    bits256 sideplanes[4][tileside][tileside];      // x faces [x][y], y faces [y][x]: bits of z
};

const bits256 allsolid = {{~uint64_t(0), ~uint64_t(0), ~uint64_t(0), ~uint64_t(0)}};

bool inregion(const exportregion &r, int64_t x, int64_t y)
{
    return x >= r.x0 && x <= r.x1 && y >= r.y0 && y <= r.y1;
}

void readcolumns(const mapfile &map, const exportregion &region, const tileplace &t, tilework *w)
{
    w->nx = t.nx;
    w->ny = t.ny;
    int wide = t.nx + 2;
    w->solid.assign(size_t(wide) * (t.ny + 2), allsolid);
    for (int j = -1; j <= t.ny; j++)
        for (int i = -1; i <= t.nx; i++) {
            int64_t x = int64_t(t.x0) + i, y = int64_t(t.y0) + j;
            if (!inregion(region, x, y))
                continue;
            size_t size;
            const uint8_t *bytes = columnbytes(map, uint32_t(x), uint32_t(y), &size);
            columnsolid(bytes, size, w->solid[size_t(j + 1) * wide + (i + 1)].w);
        }
    w->coloured.resize(size_t(t.nx) * t.ny);
    w->first.resize(size_t(t.nx) * t.ny);
    w->colours.clear();
    uint32_t buffer[mapheight];
    for (int j = 0; j < t.ny; j++)
        for (int i = 0; i < t.nx; i++) {
            size_t size, c = size_t(j) * t.nx + i;
            const uint8_t *bytes = columnbytes(map, t.x0 + i, t.y0 + j, &size);
            int count = columncolours(bytes, size, w->coloured[c].w, buffer);
            w->first[c] = uint32_t(w->colours.size());
            w->colours.insert(w->colours.end(), buffer, buffer + count);
        }
}

// Bit z of the result is bit z - 1 of s (bit 0: solid, the map's top).
bits256 shiftdown(const bits256 &s)
{
    bits256 r;
    r.w[0] = s.w[0] << 1 | 1;
    for (int k = 1; k < 4; k++)
        r.w[k] = s.w[k] << 1 | s.w[k - 1] >> 63;
    return r;
}

// Bit z of the result is bit z + 1 of s (bit 255: solid, the map's bottom).
bits256 shiftup(const bits256 &s)
{
    bits256 r;
    for (int k = 0; k < 3; k++)
        r.w[k] = s.w[k] >> 1 | s.w[k + 1] << 63;
    r.w[3] = s.w[3] >> 1 | uint64_t(1) << 63;
    return r;
}

bits256 exposed(const bits256 &s, const bits256 &other)
{
    bits256 r;
    for (int k = 0; k < 4; k++)
        r.w[k] = s.w[k] & ~other.w[k];
    return r;
}

// Every face of the tile into the planes.
void findfaces(tilework *w)
{
    int nx = w->nx, ny = w->ny, wide = nx + 2;
    std::memset(w->zplanes, 0, sizeof w->zplanes);
    for (int j = 0; j < ny; j++)
        for (int i = 0; i < nx; i++) {
            const bits256 *at = &w->solid[size_t(j + 1) * wide + (i + 1)];
            const bits256 &s = *at;
            w->sideplanes[facexneg][i][j] = exposed(s, at[-1]);
            w->sideplanes[facexpos][i][j] = exposed(s, at[1]);
            w->sideplanes[faceyneg][j][i] = exposed(s, at[-wide]);
            w->sideplanes[faceypos][j][i] = exposed(s, at[wide]);
            const bits256 vertical[2] = {exposed(s, shiftdown(s)), exposed(s, shiftup(s))};
            for (int d = 0; d < 2; d++)
                for (int k = 0; k < 4; k++)
                    for (uint64_t v = vertical[d].w[k]; v; v &= v - 1)
                        w->zplanes[d][64 * k + std::countr_zero(v)][j] |= uint64_t(1) << i;
        }
}

// The colour of the solid voxel z of local column (i, j): its own, or that
// of the nearest coloured voxel above it.
uint32_t voxelcolour(const tilework &w, int i, int j, int z)
{
    size_t c = size_t(j) * w.nx + i;
    const uint64_t *mask = w.coloured[c].w;
    int below = 0;   // coloured voxels above z
    for (int k = 0; k < z >> 6; k++)
        below += std::popcount(mask[k]);
    below += std::popcount(mask[z >> 6] & ((uint64_t(1) << (z & 63)) - 1));
    bool own = mask[z >> 6] >> (z & 63) & 1;
    int index = own ? below : std::max(below - 1, 0);
    if (!own && below == 0)
        return 0;   // not in a checked map: its topmost solid voxel is coloured
    return w.colours[w.first[c] + index] & 0xFFFFFF;
}

// The local column and z of the voxel behind face (run, row) of a plane.
void facevoxel(int dir, int plane, int row, int run, int *i, int *j, int *z)
{
    switch (dir) {
    case facexneg:
    case facexpos:
        *i = plane, *j = row, *z = run;
        break;
    case faceyneg:
    case faceypos:
        *i = row, *j = plane, *z = run;
        break;
    default:
        *i = run, *j = row, *z = plane;
        break;
    }
}

void addquad(const tilework &w, int dir, int plane, int row, int rows, int run, int runs, tilesurface *out)
{
    surfacequad q;
    q.dir = uint8_t(dir);
    q.plane = uint8_t(plane);
    q.row = uint8_t(row);
    q.rows = uint8_t(rows);
    q.run = uint16_t(run);
    q.runs = uint16_t(runs);
    q.texels = uint32_t(out->texels.size());
    out->quads.push_back(q);
    for (int b = 0; b < rows; b++)
        for (int a = 0; a < runs; a++) {
            int i, j, z;
            facevoxel(dir, plane, row + b, run + a, &i, &j, &z);
            out->texels.push_back(voxelcolour(w, i, j, z));
        }
    out->faces[dir] += uint64_t(rows) * runs;
}

// The first bit at or after `from` that is set (want = true) or clear.
int findbit(const uint64_t *row, int words, int from, bool want)
{
    for (int k = from >> 6; k < words; k++) {
        uint64_t v = want ? row[k] : ~row[k];
        if (k == from >> 6)
            v &= ~uint64_t(0) << (from & 63);
        if (v)
            return 64 * k + std::countr_zero(v);
    }
    return 64 * words;
}

// The bits from..to - 1 that fall in word k.
uint64_t runmask(int from, int to, int k)
{
    int lo = std::max(from - 64 * k, 0), hi = std::min(to - 64 * k, 64);
    if (lo >= hi)
        return 0;
    uint64_t upper = hi == 64 ? ~uint64_t(0) : (uint64_t(1) << hi) - 1;
    return upper & (~uint64_t(0) << lo);
}

bool holdsrun(const uint64_t *row, int words, int from, int to)
{
    for (int k = from >> 6; k < words && 64 * k < to; k++) {
        uint64_t m = runmask(from, to, k);
        if ((row[k] & m) != m)
            return false;
    }
    return true;
}

void clearrun(uint64_t *row, int words, int from, int to)
{
    for (int k = from >> 6; k < words && 64 * k < to; k++)
        row[k] &= ~runmask(from, to, k);
}

// Merges the set bits of rows[0 .. count) (words 64-bit words each) into
// rectangles; clears the rows it takes from.
void mergeplane(const tilework &w, int dir, int plane, uint64_t *rows, int count, int words, tilesurface *out)
{
    for (int r = 0; r < count; r++) {
        uint64_t *row = rows + size_t(r) * words;
        int limit = 64 * words;
        for (int s = findbit(row, words, 0, true); s < limit;) {
            int e = findbit(row, words, s, false);
            int h = 1;
            while (r + h < count && holdsrun(rows + size_t(r + h) * words, words, s, e)) {
                clearrun(rows + size_t(r + h) * words, words, s, e);
                h++;
            }
            addquad(w, dir, plane, r, h, s, e - s, out);
            s = e < limit ? findbit(row, words, e, true) : limit;
        }
    }
}

} // namespace

std::vector<tileplace> regiontiles(const exportregion &region)
{
    std::vector<tileplace> tiles;
    for (uint32_t ty = region.y0 / tileside; ty <= region.y1 / tileside; ty++)
        for (uint32_t tx = region.x0 / tileside; tx <= region.x1 / tileside; tx++) {
            uint32_t x0 = std::max(tx * tileside, region.x0), y0 = std::max(ty * tileside, region.y0);
            uint32_t x1 = std::min(tx * tileside + tileside - 1, region.x1);
            uint32_t y1 = std::min(ty * tileside + tileside - 1, region.y1);
            tiles.push_back({x0, y0, int(x1 - x0 + 1), int(y1 - y0 + 1)});
        }
    return tiles;
}

void buildsurface(const mapfile &map, const exportregion &region, const tileplace &tile, tilesurface *out)
{
    std::unique_ptr<tilework> w(new tilework);   // not zeroed: findfaces writes what is read
    readcolumns(map, region, tile, w.get());
    findfaces(w.get());
    out->quads.clear();
    out->texels.clear();
    for (uint64_t &f : out->faces)
        f = 0;
    for (int d = facexneg; d <= facexpos; d++)
        for (int i = 0; i < tile.nx; i++)
            mergeplane(*w, d, i, w->sideplanes[d][i][0].w, tile.ny, 4, out);
    for (int d = faceyneg; d <= faceypos; d++)
        for (int j = 0; j < tile.ny; j++)
            mergeplane(*w, d, j, w->sideplanes[d][j][0].w, tile.nx, 4, out);
    for (int d = 0; d < 2; d++)
        for (int z = 0; z < mapheight; z++)
            mergeplane(*w, facezneg + d, z, w->zplanes[d][z], tile.ny, 1, out);
}

void quadcorners(const tileplace &tile, const surfacequad &q, int corners[4][3])
{
    const int runat[4] = {q.run, q.run + q.runs, q.run + q.runs, q.run};
    const int rowat[4] = {q.row, q.row, q.row + q.rows, q.row + q.rows};
    int x0 = int(tile.x0), y0 = int(tile.y0), far = q.dir & 1;   // the pos directions lie on the far side
    for (int c = 0; c < 4; c++) {
        int *p = corners[c];
        switch (q.dir) {
        case facexneg:
        case facexpos:
            p[0] = x0 + q.plane + far, p[1] = y0 + rowat[c], p[2] = runat[c];
            break;
        case faceyneg:
        case faceypos:
            p[0] = x0 + rowat[c], p[1] = y0 + q.plane + far, p[2] = runat[c];
            break;
        default:
            p[0] = x0 + runat[c], p[1] = y0 + rowat[c], p[2] = q.plane + far;
            break;
        }
    }
}

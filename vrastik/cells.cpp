// The grid stage: finished rocks, two point grids over them, the class of
// every 8-voxel cell, texscale; and the column builder that uses them.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "generator.h"
#include "lanes.h"
#include "workers.h"

namespace {

const float largestbelow1024 = 1023.99994f;
const float largestbelow256 = 255.99998f;

// Clamp into the map, decide solid rocks (below the 20 top layers only) and
// list every rock.
void finishrocks()
{
    gen.aircount = gen.solidcount = 0;
    for (int n = 0; n < gen.rockcount; n++) {
        rock &r = gen.rocks[n];
        if (r.x < 0) r.x = 0;
        if (r.x >= 1024) r.x = largestbelow1024;
        if (r.y < 0) r.y = 0;
        if (r.y >= 1024) r.y = largestbelow1024;
        if (r.z < 0) r.z = 0;
        if (r.z > 255.99999f) r.z = largestbelow256;
        r.weight = 1.0f;
        if (r.material != -1 && r.z >= 20) {
            r.material = drawrandom() & 1;
            gen.solidcount++;
        } else {
            r.material = -1;
            gen.aircount++;
        }
        gen.rocklist[n] = n;
    }
}

// Material centres are the table entries 0..127 (zero entries when there are
// fewer rocks); the lowest-numbered of equally near centres wins.
int nearestmaterialcentre(const rock &r)
{
    float best = 1e30f;
    int d = 0;
    for (int c = 0; c < regioncentres; c++) {
        const rock &m = gen.rocks[c];
        float dx = r.x - m.x, dy = r.y - m.y, dz = r.z - m.z;
        float dist = dx * dx + dy * dy + dz * dz;
        if (dist < best) {
            best = dist;
            d = c;
        }
    }
    return d;
}

// Rocks below the ground or solid get a material number and a shape weight;
// every rock below the ground is solid from here on.
void assignmaterials()
{
    for (int i = 0; i < 3 * regioncentres; i++)
        drawrandom();
    for (int n = 0; n < gen.rockcount; n++) {
        rock &r = gen.rocks[n];
        if (!(r.z > float(gen.groundposition + 1) || r.material >= 0))
            continue;
        int d = nearestmaterialcentre(r);
        if (gen.texturecount == 0)
            r.material = d & 1;
        else if (gen.texturecount == 1)
            r.material = 0;
        else
            r.material = d % (gen.texturecount - 1);
        r.weight = gen.shapeweights[d & 3];
    }
}

// The class of every cell of grid 0 and how many of each; an empty cell
// stops the run. Worked out beside grid 2, told of after it.
struct cellclasses {
    int counts[3];
    bool outofmemory, emptycell;
};

// Cells first .. end - 1; false at an empty one.
bool classifycells(const pointgrid &g, int first, int end, int *counts)
{
    for (int c = first; c < end; c++) {
        int bits = 0;
        for (int e = g.starts[c]; e < g.starts[c + 1]; e++)
            bits |= gen.rocks[g.entries[e]].material == -1 ? 1 : 2;
        if (bits == 0)
            return false;
        gen.cellclass[c] = uint8_t(bits - 1);
        counts[bits - 1]++;
    }
    return true;
}

// In parts on `threads` threads, and threads that wait for an enclosing job
// when `helped`.
void classifygrid0(cellclasses &r, int threads, bool helped)
{
    r = {{0, 0, 0}, false, false};
    const pointgrid &g = *gen.grid0;
    gen.cellclass = static_cast<uint8_t *>(std::malloc(size_t(g.cellcount)));
    if (!gen.cellclass) {
        r.outofmemory = true;
        return;
    }
    struct alignas(cacheline) partclasses {
        int counts[3];
        bool full;
    };
    constexpr int maxparts = 16;
    const int parts = threads > 1 || helped ? maxparts : 1;
    partclasses part[maxparts];
    for (partclasses &p : part)
        p = {{0, 0, 0}, true};
    runparts(threads, parts, [&](int k) {
        const int first = int(int64_t(g.cellcount) * k / parts), end = int(int64_t(g.cellcount) * (k + 1) / parts);
        part[k].full = classifycells(g, first, end, part[k].counts);
    });
    for (int k = 0; k < parts; k++) {
        const partclasses &p = part[k];
        r.emptycell = r.emptycell || !p.full;
        for (int i = 0; i < 3; i++)
            r.counts[i] += p.counts[i];
    }
}

bool reportclasses(const cellclasses &r)
{
    if (r.outofmemory) {
        std::printf("out of memory classifying cells!\n");
        return false;
    }
    if (r.emptycell) {
        std::printf("bad airsolid cell!\n");
        return false;
    }
    std::printf("Air=%i Solid=%i AirSolid=%i\n", r.counts[0], r.counts[1], r.counts[2]);
    return true;
}

pointgrid *rockgrid(int threads, bool helped, int mode, int mincell)
{
    pointsource pts = {reinterpret_cast<const unsigned char *>(gen.rocks), sizeof(rock)};
    return buildgridon(threads, mode, mincell, mapsize, mapsize, mapdepth, gen.rockcount, gen.rocklist, pts, helped);
}

// "Done." with the size of a built grid, or its out-of-memory message.
bool reportgrid(int slot, const pointgrid *g)
{
    if (!g) {
        std::printf("out of memory building grid %i!\n", slot);
        return false;
    }
    std::printf("Done. Size=%iKb AvgPtsPerCell=%.1f\n", ((g->cellcount + g->entrycount) * 4 + 24) >> 10,
                double(float(g->entrycount) / float(g->cellcount)));
    return true;
}

// Grid 0 (the nearest rock, cells of 8) with the classes of its cells, and
// grid 2 (the four nearest, cells of 16). On several threads both grids
// are built at once, each on its share of the threads, and the thread done
// first with its grid helps with the other's levels (waiting in runparts);
// the console tells of them in order either way.
bool calculategrids(cellclasses &classes)
{
    const int threads = gen.threads > 1 ? gen.threads : 1;
    pointgrid *grid2 = nullptr;
    auto buildgrid0 = [&](int share, bool helped) {
        gen.grid0 = rockgrid(share, helped, gridnearest, 8);
        if (gen.grid0)
            classifygrid0(classes, share, helped);
    };
    auto buildgrid2 = [&](int share, bool helped) { grid2 = rockgrid(share, helped, gridfournearest, 16); };
    std::printf("Calculate grid 0...\n");
    if (threads > 1) {
        runparts(2, 2, [&](int k) {
            if (k == 0)
                buildgrid0((threads + 1) / 2, true);
            else
                buildgrid2(threads / 2, true);
        });
    } else {
        buildgrid0(1, false);
    }
    if (!reportgrid(0, gen.grid0)) {
        freegrid(grid2);     // built already, never told of
        return false;
    }
    std::printf("Calculate grid 2...\n");
    if (threads == 1)
        buildgrid2(1, false);
    gen.grid2 = grid2;
    return reportgrid(2, gen.grid2);
}

} // namespace

bool gridstage()
{
    finishrocks();
    assignmaterials();
    cellclasses classes;
    if (!calculategrids(classes) || !reportclasses(classes))
        return false;
    gen.texscale = float(std::pow(gen.rockcount / 32768.0, double(1.0f / 3.0f)));
    std::printf("Texscale = %.3f\n", double(gen.texscale));
    return true;
}

// Air or solid of the voxels z .. stop - 1 (at most 8) of a mixed cell: the
// state of each voxel's nearest rock, the first of equally near rocks
// winning. The eight voxels are eight lanes of one pass over the cell's
// list; per lane the float operations and their order are those of
// ((dx*dx + dy*dy) + dz*dz) * weight, and a lane takes a rock only when it
// is strictly nearer, as a scan of one voxel would. False when the list is
// empty.
static bool mixedcell(const pointgrid &g, int cell, int x, int y, int z, int stop, int32_t *codes)
{
    const int first = g.starts[cell], count = g.starts[cell + 1] - first;
    if (count == 0)
        return false;
    const float fx = float(x), fy = float(y);
    const float4 zlo = {float(z), float(z + 1), float(z + 2), float(z + 3)};
    const float4 zhi = {float(z + 4), float(z + 5), float(z + 6), float(z + 7)};
    float4 bestlo = {1e30f, 1e30f, 1e30f, 1e30f}, besthi = bestlo;
    int4 codelo = {0, 0, 0, 0}, codehi = codelo;
    for (int i = 0; i < count; i++) {
        const rock &r = gen.rocks[g.entries[first + i]];
        const float dx = r.x - fx, dy = r.y - fy;
        const float flat = dx * dx + dy * dy;
        const int32_t code = r.material == -1 ? aircode : solidcode;
        const float4 dzlo = r.z - zlo, dzhi = r.z - zhi;
        const float4 dlo = (flat + dzlo * dzlo) * r.weight, dhi = (flat + dzhi * dzhi) * r.weight;
        const int4 nearerlo = dlo < bestlo, nearerhi = dhi < besthi;
        bestlo = nearerlo ? dlo : bestlo;
        besthi = nearerhi ? dhi : besthi;
        codelo = nearerlo ? code : codelo;
        codehi = nearerhi ? code : codehi;
    }
    if (stop - z == 8) {
        std::memcpy(codes + z, &codelo, sizeof codelo);
        std::memcpy(codes + z + 4, &codehi, sizeof codehi);
        return true;
    }
    for (int k = 0; z + k < stop; k++)
        codes[z + k] = k < 4 ? codelo[k] : codehi[k - 4];
    return true;
}

// codes[from .. to - 1] = code, four at a time.
static void fillcodes(int32_t *codes, int from, int to, int32_t code)
{
    const int4 four = {code, code, code, code};
    for (; from + 4 <= to; from += 4)
        std::memcpy(codes + from, &four, sizeof four);
    for (; from < to; from++)
        codes[from] = code;
}

bool makecolumn(int x, int y, int32_t *codes)
{
    const pointgrid &g = *gen.grid0;
    const int ground = gen.groundposition;
    const int base = (g.ny * (x >> 3) + (y >> 3)) * g.nz;
    int z = 0;
    for (int cz = 0; cz < g.nz && z < ground; cz++) {
        int cell = base + cz;
        switch (gen.cellclass[cell]) {
        case 0:
        case 1:
            fillcodes(codes, z, z + 8, gen.cellclass[cell] == 0 ? aircode : solidcode);
            z += 8;
            break;
        default: {
            int stop = z + 8 < ground ? z + 8 : ground;
            if (!mixedcell(g, cell, x, y, z, stop, codes))
                return false;
            z = stop;
        }
        }
    }
    fillcodes(codes, ground < 0 ? 0 : ground, mapdepth, solidcode);
    return true;
}

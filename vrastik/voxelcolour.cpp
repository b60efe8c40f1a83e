// Colour of a visible solid voxel: a blend over its four nearest rocks, from
// the built-in formulas with dither or from the texture scripts.
#include <cmath>

#include "generator.h"
#include "lanes.h"
#include "packcolour.h"
#include "texturing.h"

namespace {

// The four nearest are the first four of the list ordered by distance,
// and by place in the list among equal distances (scanning the list in
// order, a rock is taken only when strictly nearer than the fourth slot,
// moving strictly farther ones down). Each lane of four keeps that for the
// rocks at places k, k + 4, k + 8, ... in four sorted slots, branch-free;
// the lanes' slots then merge by (distance, place) into the four nearest of
// the whole list: a rock that is not among its own lane's first four has
// four before it already.
struct laneslots {
    float4 d[4];    // per slot, per lane: distance, ascending down the slots
    int4 at[4];     // place in the list, -1 for a slot not filled

    void offer(float4 t, int4 place)
    {
        const int4 m0 = d[0] > t, m1 = d[1] > t, m2 = d[2] > t, m3 = d[3] > t;
        d[3] = m2 ? d[2] : m3 ? t : d[3];
        at[3] = m2 ? at[2] : m3 ? place : at[3];
        d[2] = m1 ? d[1] : m2 ? t : d[2];
        at[2] = m1 ? at[1] : m2 ? place : at[2];
        d[1] = m0 ? d[0] : m1 ? t : d[1];
        at[1] = m0 ? at[0] : m1 ? place : at[1];
        d[0] = m0 ? t : d[0];
        at[0] = m0 ? place : at[0];
    }
};

// The cell's rocks in the cache's slot for its height.
const cachedcell &gathercell(cellcache &cache, const pointgrid &g, int cell)
{
    cachedcell &c = cache.cells[cell & 15];
    if (c.cell == cell)
        return c;
    const int first = g.starts[cell];
    c.cell = -1;            // until it is whole: the vectors may fail to grow
    c.count = g.starts[cell + 1] - first;
    const size_t lanes = size_t(c.count + 3) & ~size_t(3);
    c.x.assign(lanes, 1e18f);
    c.y.assign(lanes, 1e18f);
    c.z.assign(lanes, 1e18f);
    c.w.assign(lanes, 1.0f);
    c.rock.assign(lanes, -1);
    for (int i = 0; i < c.count; i++) {
        const int n = g.entries[first + i];
        const rock &r = gen.rocks[n];
        c.x[size_t(i)] = r.x;
        c.y[size_t(i)] = r.y;
        c.z[size_t(i)] = r.z;
        c.w[size_t(i)] = r.weight;
        c.rock[size_t(i)] = n;
    }
    c.cell = cell;
    return c;
}

} // namespace

// The cell's list is scanned in order, the distances of four rocks worked
// out side by side, lane by lane as the scalar ((dx*dx + dy*dy) + dz*dz) *
// weight, and offered to the lanes' slots; then the lanes merge.
bool nearestrocksof(cellcache &cache, int x, int y, int z, nearestrocks &q)
{
    const pointgrid &g = *gen.grid2;
    const cachedcell &c = gathercell(cache, g, (g.ny * (x >> 4) + (y >> 4)) * g.nz + (z >> 4));
    const float4 far = {1e30f, 1e30f, 1e30f, 1e30f};
    const int4 none = {-1, -1, -1, -1};
    laneslots l = {{far, far, far, far}, {none, none, none, none}};
    const float fx = float(x), fy = float(y), fz = float(z);
    int4 place = {0, 1, 2, 3};
    for (int i = 0; i < c.count; i += 4, place += 4) {
        const float4 dx = load4(&c.x[size_t(i)]) - fx;
        const float4 dy = load4(&c.y[size_t(i)]) - fy;
        const float4 dz = load4(&c.z[size_t(i)]) - fz;
        l.offer((dx * dx + dy * dy + dz * dz) * load4(&c.w[size_t(i)]), place);
    }
    // Merge the lanes: the smallest head by distance, then by place.
    int head[4] = {0, 0, 0, 0};
    for (int s = 0; s < 4; s++) {
        int best = 0;
        for (int k = 1; k < 4; k++) {
            const float dk = l.d[head[k]][k], db = l.d[head[best]][best];
            if (dk < db || (dk == db && unsigned(l.at[head[k]][k]) < unsigned(l.at[head[best]][best])))
                best = k;
        }
        const int at = l.at[head[best]][best];
        q.dist[s] = l.d[head[best]][best];
        q.rock[s] = at < 0 ? -1 : c.rock[size_t(at)];
        head[best]++;
    }
    if (q.rock[0] < 0)
        return false;
    // Fewer than four rocks: repeat the farthest one.
    for (int s = 1; s < 4; s++)
        if (q.rock[s] < 0) {
            q.rock[s] = q.rock[s - 1];
            q.dist[s] = q.dist[s - 1];
        }
    return true;
}

bool computeblend(const nearestrocks &q, int z, blendweights &w)
{
    float sum = 0;
    for (int s = 0; s < 4; s++) {
        w.a[s] = 0;
        // Air rocks above the ground do not colour.
        if (!(z >= gen.groundposition || gen.rocks[q.rock[s]].material >= 0))
            continue;
        float t = q.dist[s];
        float weight = 1;
        if (!(t <= 1)) {
            float v = 1 / (t * t);
            weight = v * v;
        }
        sum += weight;
        w.a[s] += weight;
    }
    if (sum == 0)
        return false;
    w.inv = 1 / sum;
    return true;
}

namespace {

// Built-in terms per material: coefficients of d1, d2, d3 and the constant,
// for red, green and blue.
struct channelterm {
    float k1, k2, k3, c;
};
const channelterm builtinterms[3][3] = {
    {{5.0f, -5.3f, 3.0f, 64}, {2.7f, -5.5f, 3.5f, 60}, {2.7f, -5.3f, 3.0f, 64}},    // air (-1)
    {{6.4f, -6.3f, 3.0f, 64}, {6.0f, -7.5f, 5.5f, 60}, {6.0f, -8.3f, 4.0f, 64}},    // material 0
    {{4.4f, 3.3f, -6.0f, 64}, {4.0f, 3.5f, -6.5f, 64}, {8.0f, -5.3f, 4.0f, 64}},    // material 1
};

void builtinchannels(const nearestrocks &q, const blendweights &w, genrandomstate &dither, float rgb[3])
{
    const float d1 = std::sqrt(q.dist[1]), d2 = std::sqrt(q.dist[2]), d3 = std::sqrt(q.dist[3]);
    rgb[0] = rgb[1] = rgb[2] = 0;
    for (int s = 0; s < 4; s++) {
        const int material = gen.rocks[q.rock[s]].material;
        if (material < -1 || material > 1)
            continue;
        const float f = w.inv * w.a[s];
        for (int ch = 0; ch < 3; ch++) {
            const channelterm &k = builtinterms[material + 1][ch];
            rgb[ch] += f * (k.k1 * d1 + k.k2 * d2 + k.k3 * d3 + k.c);
        }
    }
    for (int ch = 0; ch < 3; ch++)
        rgb[ch] = gen.texscale * rgb[ch] + float(drawfrom(dither) & 7);
}

} // namespace

const char *colourvoxel(cellcache &cache, int x, int y, int z, genrandomstate &dither, uint32_t &colour)
{
    nearestrocks q;
    blendweights w;
    if (!nearestrocksof(cache, x, y, z, q))
        return "no closest point!?\n";
    if (!computeblend(q, z, w))
        return "no closest texture!\n";
    float rgb[3];
    if (gen.texturecount > 0)
        texturedchannels(x, y, z, q, w, rgb);
    else
        builtinchannels(q, w, dither, rgb);
    colour = packgencolour(rgb[0], rgb[1], rgb[2]);
    return nullptr;
}

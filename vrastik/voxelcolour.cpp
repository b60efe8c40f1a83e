// Colour of a visible solid voxel: a blend over its four nearest rocks, from
// the built-in formulas with dither or from the texture scripts.
#include <cmath>

#include "generator.h"
#include "lanes.h"
#include "packcolour.h"
#include "runlog.h"
#include "texturing.h"

// Four sorted slots kept in registers. Inserting t: every slot holding a
// strictly larger distance moves down one place (the last one drops out)
// and t takes the place above them, so a rock equal to one present goes
// after it. The slots stay sorted, so "slot k is larger" implies the same
// for every slot after k.
struct fourslots {
    float d0, d1, d2, d3;
    int r0, r1, r2, r3;

    void insert(float t, int n)
    {
        const bool m0 = d0 > t, m1 = d1 > t, m2 = d2 > t;
        d3 = m2 ? d2 : t;
        r3 = m2 ? r2 : n;
        d2 = m1 ? d1 : m2 ? t : d2;
        r2 = m1 ? r1 : m2 ? n : r2;
        d1 = m0 ? d0 : m1 ? t : d1;
        r1 = m0 ? r0 : m1 ? n : r1;
        d0 = m0 ? t : d0;
        r0 = m0 ? n : r0;
    }
};

// The cell's list is scanned in order; four rocks at a time have their
// distances worked out side by side, lane by lane as the scalar
// ((dx*dx + dy*dy) + dz*dz) * weight, and only a group with a lane below
// the fourth slot is looked at rock by rock.
bool nearestrocksof(int x, int y, int z, nearestrocks &q)
{
    const pointgrid &g = *gen.grid2;
    const int cell = (g.ny * (x >> 4) + (y >> 4)) * g.nz + (z >> 4);
    fourslots f = {1e30f, 1e30f, 1e30f, 1e30f, -1, -1, -1, -1};
    const float fx = float(x), fy = float(y), fz = float(z);
    const int *list = g.entries + g.starts[cell];
    const int count = g.starts[cell + 1] - g.starts[cell];
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const rock &a = gen.rocks[list[i]], &b = gen.rocks[list[i + 1]];
        const rock &c = gen.rocks[list[i + 2]], &d = gen.rocks[list[i + 3]];
        const float4 dx = float4{a.x, b.x, c.x, d.x} - fx;
        const float4 dy = float4{a.y, b.y, c.y, d.y} - fy;
        const float4 dz = float4{a.z, b.z, c.z, d.z} - fz;
        const float4 t = (dx * dx + dy * dy + dz * dz) * float4{a.weight, b.weight, c.weight, d.weight};
        if (!lanemask(t < f.d3))
            continue;
        for (int k = 0; k < 4; k++)
            if (t[k] < f.d3)
                f.insert(t[k], list[i + k]);
    }
    for (; i < count; i++) {
        const rock &r = gen.rocks[list[i]];
        float dx = r.x - fx, dy = r.y - fy, dz = r.z - fz;
        float t = (dx * dx + dy * dy + dz * dz) * r.weight;
        if (t < f.d3)
            f.insert(t, list[i]);
    }
    q = {{f.r0, f.r1, f.r2, f.r3}, {f.d0, f.d1, f.d2, f.d3}};
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

void querynearestfour(int x, int y, int z, nearestrocks &q)
{
    if (!nearestrocksof(x, y, z, q))
        fatalerror("no closest point!?\n");
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

const char *colourvoxel(int x, int y, int z, genrandomstate &dither, uint32_t &colour)
{
    nearestrocks q;
    blendweights w;
    if (!nearestrocksof(x, y, z, q))
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

uint32_t voxelcolour(int x, int y, int z)
{
    uint32_t colour = 0;
    if (const char *fault = colourvoxel(x, y, z, genrandom, colour))
        fatalerror(fault);
    return colour;
}

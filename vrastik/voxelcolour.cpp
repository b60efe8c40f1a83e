// Colour of a visible solid voxel: a blend over its four nearest rocks, from
// the built-in formulas with dither or from the texture scripts.
#include <cmath>

#include "generator.h"
#include "packcolour.h"
#include "runlog.h"
#include "texturing.h"

void querynearestfour(int x, int y, int z, nearestrocks &q)
{
    const pointgrid &g = *gen.grid2;
    const int cell = (g.ny * (x >> 4) + (y >> 4)) * g.nz + (z >> 4);
    for (int s = 0; s < 4; s++) {
        q.rock[s] = -1;
        q.dist[s] = 1e30f;
    }
    const float fx = float(x), fy = float(y), fz = float(z);
    for (int e = g.starts[cell]; e < g.starts[cell + 1]; e++) {
        const int n = g.entries[e];
        const rock &r = gen.rocks[n];
        float dx = r.x - fx, dy = r.y - fy, dz = r.z - fz;
        float t = (dx * dx + dy * dy + dz * dz) * r.weight;
        if (!(t < q.dist[3]))
            continue;
        // Larger distances move down; a rock equal to one present goes after it.
        int s = 3;
        while (s > 0 && q.dist[s - 1] > t) {
            q.rock[s] = q.rock[s - 1];
            q.dist[s] = q.dist[s - 1];
            s--;
        }
        q.rock[s] = n;
        q.dist[s] = t;
    }
    if (q.rock[0] < 0)
        fatalerror("no closest point!?\n");
    // Fewer than four rocks: repeat the farthest one.
    for (int s = 1; s < 4; s++)
        if (q.rock[s] < 0) {
            q.rock[s] = q.rock[s - 1];
            q.dist[s] = q.dist[s - 1];
        }
}

void computeblend(const nearestrocks &q, int z, blendweights &w)
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
        fatalerror("no closest texture!\n");
    w.inv = 1 / sum;
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

void builtinchannels(const nearestrocks &q, const blendweights &w, float rgb[3])
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
        rgb[ch] = gen.texscale * rgb[ch] + float(drawrandom() & 7);
}

} // namespace

uint32_t voxelcolour(int x, int y, int z)
{
    nearestrocks q;
    blendweights w;
    querynearestfour(x, y, z, q);
    computeblend(q, z, w);
    float rgb[3];
    if (gen.texturecount > 0)
        texturedchannels(x, y, z, q, w, rgb);
    else
        builtinchannels(q, w, rgb);
    return packgencolour(rgb[0], rgb[1], rgb[2]);
}

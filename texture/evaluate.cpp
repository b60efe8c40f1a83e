#include "evaluate.h"
#include "noise.h"

#include <cmath>

void scaledistances(const float b[4], float w, float d[3])
{
    float k = 1.0f / (w + 1.0f);
    for (int i = 0; i < 3; i++)
        d[i] = std::sqrt(b[i + 1] * k);
}

void makeargs(double args[argcount], int vx, int vy, int vz, const float d[3], float fn, float sc)
{
    args[argvx] = vx;
    args[argvy] = vy;
    args[argvz] = vz;
    args[argd1] = d[0];
    args[argd2] = d[1];
    args[argd3] = d[2];
    for (int g = 0; g < 4; g++)
        args[argc1 + g] = 0.0;
    args[argfn] = fn;
    args[argsc] = sc;
}

void texturesample(exprfunc f, double args[argcount], const float channel[3][4], float out[3])
{
    for (int ch = 0; ch < 3; ch++) {
        for (int g = 0; g < 4; g++)
            args[argc1 + g] = channel[ch][g];
        out[ch] = float(exprcall(f, args, argcount));
    }
}

void fallbacksample(const float d[3], const float channel[3][4], float sc, float out[3])
{
    for (int ch = 0; ch < 3; ch++) {
        const float *c = channel[ch];
        out[ch] = (d[0] * c[0] + d[1] * c[1] + d[2] * c[2] + c[3]) * sc;
    }
}

// Sorted insertion; a point only gets ahead of strictly larger distances.
static void insertfour(nearestfour &n, int slotpoint[4], float dist, int point)
{
    int j = 3;
    while (j > 0 && dist < n.dist[j - 1]) {
        n.dist[j] = n.dist[j - 1];
        slotpoint[j] = slotpoint[j - 1];
        j--;
    }
    n.dist[j] = dist;
    slotpoint[j] = point;
}

nearestfour findfour(const pointgrid &g, pointsource points, int x, int y, int z)
{
    nearestfour n = {{farthestfour, farthestfour, farthestfour, farthestfour}, -1};
    int slotpoint[4] = {-1, -1, -1, -1};
    int nx = g.cellcount / (g.ny * g.nz);
    int ix = x / 8, iy = y / 8, iz = z / 8;
    if (x < 0 || y < 0 || z < 0 || ix >= nx || iy >= g.ny || iz >= g.nz)
        return n;
    int cell = (ix * g.ny + iy) * g.nz + iz;
    float fx = float(x), fy = float(y), fz = float(z);
    for (int e = g.starts[cell]; e < g.starts[cell + 1]; e++) {
        const featurepoint &p = points.at(g.entries[e]);
        float dx = p.x - fx, dy = p.y - fy, dz = p.z - fz;
        float dist = p.weight * (dx * dx + dy * dy + dz * dz);
        if (dist < n.dist[3])
            insertfour(n, slotpoint, dist, g.entries[e]);
    }
    n.first = slotpoint[0];
    return n;
}

void designsample(exprfunc f, const texturescript &s, const pointgrid &g, pointsource points,
                  int x, int y, int z, float out[3])
{
    nearestfour n = findfour(g, points, x, y, z);
    // With no point in reach there is no nearest weight; take the air weight.
    float w = n.first >= 0 ? points.at(n.first).weight : 1.0f;
    float d[3];
    scaledistances(n.dist, w, d);
    if (!f) {
        fallbacksample(d, s.channel, s.scale, out);
        return;
    }
    double args[argcount];
    makeargs(args, x, y, z, d, noiseat(x, y, z), s.scale);
    texturesample(f, args, s.channel, out);
}

void gentexsample(const textureslot &slot, int vx, int vy, int vz, float d1, float d2, float d3, float fn,
                  float out[3])
{
    const float d[3] = {d1, d2, d3};
    double args[argcount];
    makeargs(args, vx, vy, vz, d, fn, slot.scale);
    texturesample(slot.func, args, slot.channel, out);
}

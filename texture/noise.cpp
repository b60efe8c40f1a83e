#include "noise.h"
#include "random.h"

noisestate noise;

static constexpr int latticedraws()
{
    int n = 0;
    for (int d = noiseside / 2; d >= 1; d /= 2)
        n += (noiseside / d) * (noiseside / d) * (noiseside / d);
    return n;
}
static_assert(latticedraws() == noisedraws, "one draw per lattice point of each octave");

static int noiseindex(int x, int y, int z)
{
    return (x * noiseside + y) * noiseside + z;
}

// Lattice draws of one octave: all three axes from the highest point down.
static void drawlattice(int d)
{
    int k = noiseside / d;
    for (int i = k - 1; i >= 0; i--)
        for (int j = k - 1; j >= 0; j--)
            for (int l = k - 1; l >= 0; l--)
                noise.lattice[noiseindex(i * d, j * d, l * d)] = libraryrand();
}

// The eight lattice values around one table cell, and the cell's fractions.
struct noisecell {
    int c[2][2][2];     // [x side][y side][z side]
    float fx, fy, fz;
};

static noisecell cellat(int x, int y, int z, int d)
{
    int x0 = x & ~(d - 1), y0 = y & ~(d - 1), z0 = z & ~(d - 1);
    int xs[2] = {x0, (x0 + d) & 31}, ys[2] = {y0, (y0 + d) & 31}, zs[2] = {z0, (z0 + d) & 31};
    noisecell cell;
    for (int a = 0; a < 2; a++)
        for (int b = 0; b < 2; b++)
            for (int c = 0; c < 2; c++)
                cell.c[a][b][c] = noise.lattice[noiseindex(xs[a], ys[b], zs[c])];
    float step = 1.0f / float(d);
    cell.fx = float(x & (d - 1)) * step;
    cell.fy = float(y & (d - 1)) * step;
    cell.fz = float(z & (d - 1)) * step;
    return cell;
}

// Designer: the whole interpolation stays in extended precision.
static long double interpolatewide(const noisecell &q)
{
    auto lerp = [](long double a, long double b, long double t) { return a + (b - a) * t; };
    auto edge = [](int a, int b, long double t) { return (long double)a + (long double)(b - a) * t; };
    long double a00 = edge(q.c[0][0][0], q.c[1][0][0], q.fx);
    long double a10 = edge(q.c[0][1][0], q.c[1][1][0], q.fx);
    long double a01 = edge(q.c[0][0][1], q.c[1][0][1], q.fx);
    long double a11 = edge(q.c[0][1][1], q.c[1][1][1], q.fx);
    long double b0 = lerp(a00, a10, q.fy);
    long double b1 = lerp(a01, a11, q.fy);
    return lerp(b0, b1, q.fz);
}

// The sum with the table entry is also formed wide and rounded once.
static float addwide(float entry, const noisecell &q, int n)
{
    const float unit = 2.0f / 32767.0f;
    long double v = interpolatewide(q);
    return float(entry + (long double)(n + 1) * 0.2 * (v * unit - 1.0L));
}

// Generator: every intermediate is a float.
static float interpolatesingle(const noisecell &q)
{
    auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
    auto edge = [](int a, int b, float t) { return float(a) + float(b - a) * t; };
    float a00 = edge(q.c[0][0][0], q.c[1][0][0], q.fx);
    float a10 = edge(q.c[0][1][0], q.c[1][1][0], q.fx);
    float a01 = edge(q.c[0][0][1], q.c[1][0][1], q.fx);
    float a11 = edge(q.c[0][1][1], q.c[1][1][1], q.fx);
    float b0 = lerp(a00, a10, q.fy);
    float b1 = lerp(a01, a11, q.fy);
    return lerp(b0, b1, q.fz);
}

static float addsingle(float entry, const noisecell &q, int n)
{
    const float unit = 2.0f / 32767.0f;
    float amplitude = float(n + 1) / 5.0f;
    float v = interpolatesingle(q);
    float centred = v * unit - 1.0f;
    return entry + amplitude * centred;
}

void initnoise(noiseprecision precision)
{
    for (float &v : noise.table)
        v = 0.0f;
    for (int n = 4; n >= 0; n--) {
        int d = 1 << n;
        drawlattice(d);
        for (int x = 31; x >= 0; x--)
            for (int y = 31; y >= 0; y--)
                for (int z = 31; z >= 0; z--) {
                    noisecell q = cellat(x, y, z, d);
                    float &entry = noise.table[noiseindex(x, y, z)];
                    entry = precision == noisedesigner ? addwide(entry, q, n) : addsingle(entry, q, n);
                }
    }
}

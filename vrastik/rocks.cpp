// Rock placement: the cloud of rocks for each cave kind and the air/solid
// decision spread from 128 region centres.
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "generator.h"

namespace {

// Placement groups (seed & 14) and their shape weights; blocky and cellular
// kinds have a fixed rock count.
enum placement { blocky, cellular, uniform };

struct groupinfo {
    placement how;
    int fixedcount;     // 0: from the command line
    float weights[4];
};

const groupinfo groups[8] = {
    {blocky, 32768, {0.96f, 0.96f, 0.96f, 0.96f}},    // 0
    {uniform, 0, {2.0f, 2.0f, 2.0f, 2.0f}},           // 2 round
    {cellular, 32256, {1.0f, 1.0f, 1.0f, 1.0f}},      // 4
    {uniform, 0, {2.0f, 2.0f, 0.66f, 2.0f}},          // 6 miscellaneous
    {blocky, 32768, {0.96f, 0.96f, 0.96f, 0.96f}},    // 8
    {uniform, 0, {0.95f, 1.05f, 0.95f, 1.05f}},       // 10 voronoi
    {uniform, 0, {0.6f, 0.8f, 0.6f, 0.8f}},           // 12 concave
    {uniform, 0, {0.2f, 0.3f, 0.2f, 0.3f}},           // 14 very concave
};

struct vec3 {
    float x, y, z;
};

const double pi = 3.141592653589793;

// A random point on the sphere of radius s: height first, then angle.
vec3 spherepoint(float s)
{
    float u = float(drawrandom() / 16383.5 - 1);
    float theta = float((drawrandom() / 16383.5 - 1) * pi);
    vec3 p;
    p.x = float(std::cos(double(theta)));
    p.y = float(std::sin(double(theta)));
    float f = float(std::sqrt(1.0 - double(u) * u) * s);
    p.x = p.x * f;
    p.y = p.y * f;
    p.z = s * u;
    return p;
}

vec3 cross(vec3 a, vec3 b)
{
    return {float(double(a.y) * b.z - double(a.z) * b.y),
            float(double(a.z) * b.x - double(a.x) * b.z),
            float(double(a.x) * b.y - double(a.y) * b.x)};
}

// A right-handed frame (A, B, C) of vectors of length s.
void randomrotation(float s, vec3 &a, vec3 &b, vec3 &c)
{
    a = spherepoint(s);
    vec3 c0 = spherepoint(s);
    b = cross(a, c0);
    float f = float(s / std::sqrt(double(b.x) * b.x + double(b.y) * b.y + double(b.z) * b.z));
    b = {b.x * f, b.y * f, b.z * f};
    c = cross(a, b);
    a = {a.x * s, a.y * s, a.z * s};
}

double wrap(double v, double size)
{
    while (v < 0)
        v += size;
    while (v >= size)
        v -= size;
    return v;
}

// A jittered 32 x 32 x 32 lattice, turned by a random rotation and wrapped.
void placeblocky()
{
    const double jitter = 1.0 / 16384;
    for (int i = 0; i < 32; i++)
        for (int j = 0; j < 32; j++)
            for (int k = 0; k < 32; k++) {
                rock &r = gen.rocks[1024 * i + 32 * j + k];
                r.x = float(drawrandom() * jitter + 32 * i + 16 - 1);
                r.z = float(drawrandom() * jitter + 32 * k + 16 - 1);
                r.y = float(drawrandom() * jitter + 32 * j + 16 - 1);
            }
    vec3 a, b, c;
    randomrotation(1.0f, a, b, c);
    for (const vec3 &v : {a, b, c})
        std::printf("%f %f %f\n", v.x, v.y, v.z);
    for (int n = 0; n < gen.rockcount; n++) {
        rock &r = gen.rocks[n];
        double x = r.x, y = r.y, z = r.z;
        r.x = float(wrap(double(a.x) * x + double(b.x) * y + double(c.x) * z, mapsize));
        r.y = float(wrap(double(a.y) * x + double(b.y) * y + double(c.y) * z, mapsize));
        r.z = float(wrap(double(a.z) * x + double(b.z) * y + double(c.z) * z, mapdepth));
    }
}

// 48 x 48 random columns of 14 rocks in fixed layers; no wrapping.
void placecellular()
{
    for (int col = 0; col < 48 * 48; col++) {
        double cx = drawrandom() / 32.0;
        double cy = drawrandom() / 32.0;
        for (int m = 0; m < 14; m++) {
            rock &r = gen.rocks[14 * col + m];
            r.x = float(cx + drawrandom() * 3 / 32768.0 - 1.5);
            r.z = float(drawrandom() / 32768.0 + (256 * m / 14) + 15.5);
            r.y = float(cy + drawrandom() * 3 / 32768.0 - 1.5);
        }
    }
}

void placeuniform()
{
    for (int n = 0; n < gen.rockcount; n++) {
        rock &r = gen.rocks[n];
        r.x = float(drawrandom() * 0.03125);
        r.z = float(drawrandom() * 0.0078125);
        r.y = float(drawrandom() * 0.03125);
    }
}

float squaredistance(const rock &a, const rock &b)
{
    float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// Every rock takes the state of its nearest region centre; among equally
// near centres the highest-numbered one wins.
void spreadregions(int centres, bool cave)
{
    int centrerock[regioncentres];
    bool centreair[regioncentres];
    for (int j = 0; j < centres; j++) {
        if (cave) {
            centreair[j] = (drawrandom() & 1) == 1;
            centrerock[j] = drawrandom() % gen.rockcount;
        } else {
            centrerock[j] = drawrandom() % gen.rockcount;
            centreair[j] = gen.rocks[centrerock[j]].z < 128 || (drawrandom() & 7) == 0;
        }
    }
    for (int n = 0; n < gen.rockcount; n++) {
        rock &r = gen.rocks[n];
        float best = 1e38f;
        int winner = 0;
        for (int j = centres - 1; j >= 0; j--) {
            float d = squaredistance(r, gen.rocks[centrerock[j]]);
            if (d < best) {
                best = d;
                winner = j;
            }
        }
        r.material = centreair[winner] ? -1 : 0;
    }
}

} // namespace

void placerocks(int rockcount, int centres, int32_t seed)
{
    std::printf("Generating cave nr = %i\n", seed);
    const groupinfo &group = groups[(seed & 14) >> 1];
    gen.rockcount = group.fixedcount ? group.fixedcount : rockcount;
    for (int i = 0; i < 4; i++)
        gen.shapeweights[i] = group.weights[i];
    seedrandom(1);
    switch (group.how) {
    case blocky: placeblocky(); break;
    case cellular: placecellular(); break;
    case uniform: placeuniform(); break;
    }
    seedrandom(uint32_t(seed));
    spreadregions(centres > regioncentres ? regioncentres : centres, (seed & 1) != 0);
}

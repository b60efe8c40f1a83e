// Perspective view: one ray per pixel marched voxel by voxel (3D DDA) through
// a solid-bit table of the map, shaded with a light at the camera and fog.
#include "mapview.h"

#include <cmath>
#include <cstdio>

static const double pi = 3.14159265358979323846;

// Tuning of the look: how far the fog reaches, how much light there is
// without the lamp, and the colour far surfaces fade to.
static const double fogdistance = 220.0;
static const double ambient = 0.35;
static const double fogcolour[3] = {16, 16, 24};
static const int maxsteps = 4096;   // longer than any straight path through the map
static const uint32_t edgecolour = 0x505050;   // the map's sides, solid like the world beyond them

// One solid bit per voxel, 256 bits per column.
struct solidtable {
    long sizex, sizey;
    std::vector<uint64_t> bits;
};

static void buildsolid(const mapfile &map, solidtable *t)
{
    t->sizex = map.header.sizex;
    t->sizey = map.header.sizey;
    t->bits.assign(size_t(t->sizex) * t->sizey * 4, 0);
    for (long y = 0; y < t->sizey; y++)
        for (long x = 0; x < t->sizex; x++) {
            size_t size;
            const uint8_t *bytes = columnbytes(map, uint32_t(x), uint32_t(y), &size);
            columnsolid(bytes, size, &t->bits[(size_t(y) * t->sizex + x) * 4]);
        }
}

static bool solidat(const solidtable &t, long x, long y, long z)
{
    const uint64_t *col = &t.bits[(size_t(y) * t.sizex + x) * 4];
    return col[z >> 6] >> (z & 63) & 1;
}

void headercamera(const mapheader &h, camera *cam)
{
    for (int i = 0; i < 3; i++) {
        cam->position[i] = h.start[i] + 0.5;   // the middle of the start voxel
        cam->right[i] = h.right[i];
        cam->down[i] = h.down[i];
        cam->forward[i] = h.forward[i];
    }
    cam->fov = 90;
}

void aimcamera(camera *cam, double yaw, double pitch)
{
    double a = yaw * pi / 180, b = pitch * pi / 180;
    double forward[3] = {std::sin(a) * std::cos(b), -std::cos(a) * std::cos(b), -std::sin(b)};
    double right[3] = {std::cos(a), std::sin(a), 0};
    // down = forward x right keeps forward = right x down
    double down[3] = {forward[1] * right[2] - forward[2] * right[1], forward[2] * right[0] - forward[0] * right[2],
                      forward[0] * right[1] - forward[1] * right[0]};
    for (int i = 0; i < 3; i++) {
        cam->forward[i] = forward[i];
        cam->right[i] = right[i];
        cam->down[i] = down[i];
    }
}

// What a ray met: a voxel or the map's side, and the axis of the face it
// entered through; or nothing, when it left through the top.
struct rayhit {
    bool hit;
    bool edge;
    long voxel[3];
    int axis;
    double distance;
};

static rayhit castray(const solidtable &t, const double origin[3], const double dir[3])
{
    long limit[3] = {t.sizex, t.sizey, mapheight};
    long cell[3], step[3];
    double next[3], delta[3];
    for (int i = 0; i < 3; i++) {
        cell[i] = long(std::floor(origin[i]));
        step[i] = dir[i] < 0 ? -1 : 1;
        delta[i] = dir[i] != 0 ? std::fabs(1 / dir[i]) : INFINITY;
        double edge = dir[i] < 0 ? double(cell[i]) : double(cell[i] + 1);
        next[i] = dir[i] != 0 ? (edge - origin[i]) / dir[i] : INFINITY;
    }
    rayhit r = {false, false, {0, 0, 0}, 2, 0};
    bool entered = false;
    for (int n = 0; n < maxsteps; n++) {
        if (cell[2] < 0 && dir[2] <= 0)
            return r;   // out through the top
        // Beyond the sides the world counts as solid, as it does for the map's
        // visibility; a camera out there sees through it until the ray comes in.
        bool outside = cell[0] < 0 || cell[0] >= limit[0] || cell[1] < 0 || cell[1] >= limit[1];
        entered = entered || !outside;
        r.edge = outside && entered;
        bool solid = r.edge || (!outside && cell[2] >= mapheight) ||
                     (!outside && cell[2] >= 0 && solidat(t, cell[0], cell[1], cell[2]));
        if (solid) {
            r.hit = true;
            for (int i = 0; i < 3; i++)
                r.voxel[i] = cell[i];
            return r;
        }
        int axis = next[0] < next[1] ? (next[0] < next[2] ? 0 : 2) : (next[1] < next[2] ? 1 : 2);
        r.axis = axis;
        r.distance = next[axis];
        cell[axis] += step[axis];
        next[axis] += delta[axis];
    }
    return r;
}

// Surface colour, lit by a lamp at the camera and faded into the fog.
static uint32_t shade(const mapfile &map, const rayhit &r, const double dir[3])
{
    uint32_t colour = r.edge ? edgecolour : hiddenshade & 0xFFFFFF;
    if (!r.edge && r.voxel[2] >= 0 && r.voxel[2] < mapheight) {
        size_t size;
        const uint8_t *bytes = columnbytes(map, uint32_t(r.voxel[0]), uint32_t(r.voxel[1]), &size);
        uint32_t word;
        if (columnvoxel(bytes, size, int(r.voxel[2]), &word) == voxelcoloured)
            colour = word;
    }
    double facing = std::fabs(dir[r.axis]);   // cosine between the ray and the face normal
    double light = ambient + (1 - ambient) * facing;
    double fog = std::exp(-r.distance / fogdistance);
    uint32_t out = 0xFF000000u;
    for (int c = 0; c < 3; c++) {
        double v = double((colour >> (16 - 8 * c)) & 0xFF) * light * fog + fogcolour[c] * (1 - fog);
        long b = std::lround(v);
        out |= uint32_t(b < 0 ? 0 : b > 255 ? 255 : b) << (16 - 8 * c);
    }
    return out;
}

static uint32_t fogpixel()
{
    return 0xFF000000u | uint32_t(fogcolour[0]) << 16 | uint32_t(fogcolour[1]) << 8 | uint32_t(fogcolour[2]);
}

void drawview(const mapfile &map, const camera &cam, picture *pic)
{
    solidtable table;
    buildsolid(map, &table);
    long cx = long(std::floor(cam.position[0])), cy = long(std::floor(cam.position[1])),
         cz = long(std::floor(cam.position[2]));
    if (cx >= 0 && cx < table.sizex && cy >= 0 && cy < table.sizey && cz >= 0 && cz < mapheight &&
        solidat(table, cx, cy, cz))
        std::fprintf(stderr, "mapview: the camera at (%ld, %ld, %ld) is inside solid rock\n", cx, cy, cz);
    progress bar;
    startprogress(&bar, "view");
    double half = std::tan(cam.fov * pi / 360);   // image plane half width at distance 1
    double scale = half / (pic->width / 2.0);
    for (int j = 0; j < pic->height; j++) {
        double v = (j + 0.5 - pic->height / 2.0) * scale;
        for (int i = 0; i < pic->width; i++) {
            double u = (i + 0.5 - pic->width / 2.0) * scale;
            double dir[3];
            for (int k = 0; k < 3; k++)
                dir[k] = cam.forward[k] + u * cam.right[k] + v * cam.down[k];
            double length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
            for (int k = 0; k < 3; k++)
                dir[k] /= length;
            rayhit r = castray(table, cam.position, dir);
            pic->pixels[size_t(j) * pic->width + i] = r.hit ? shade(map, r, dir) : fogpixel();
        }
        showprogress(&bar, j + 1, pic->height);
    }
    endprogress(&bar);
}

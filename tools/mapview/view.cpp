// Perspective view: one ray per pixel walked voxel by voxel (3D DDA) through
// a solid-bit table of the map, jumping over empty 8 x 8 x 8 blocks, and
// shaded with a light at the camera and fog.
#include "mapview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

static const double pi = 3.14159265358979323846;

// Tuning of the look: how far the fog reaches, how much light there is
// without the lamp, and the colour far surfaces fade to.
static const double fogdistance = 220.0;
static const double ambient = 0.35;
static const double fogcolour[3] = {16, 16, 24};
static const int maxsteps = 4096;   // cells: at least 1300 voxels away, where the fog hides all
static const uint32_t edgecolour = 0x505050;   // the map's sides, solid like the world beyond them

static const int blockshift = 3;

void buildsolid(const mapfile &map, solidtable *t)
{
    t->size[0] = map.header.sizex;
    t->size[1] = map.header.sizey;
    t->size[2] = mapheight;
    t->blocksx = (t->size[0] + 7) >> blockshift;
    long blocksy = (t->size[1] + 7) >> blockshift;
    t->bits.assign(size_t(t->size[0]) * t->size[1] * 4, 0);
    t->blocks.assign(size_t(t->blocksx) * blocksy, 0);
    for (long y = 0; y < t->size[1]; y++)
        for (long x = 0; x < t->size[0]; x++) {
            size_t size;
            const uint8_t *bytes = columnbytes(map, uint32_t(x), uint32_t(y), &size);
            uint64_t *col = &t->bits[(size_t(y) * t->size[0] + x) * 4];
            columnsolid(bytes, size, col);
            uint32_t any = 0;
            for (int k = 0; k < 32; k++)
                if (col[k >> 3] >> (8 * (k & 7)) & 0xFF)
                    any |= uint32_t(1) << k;
            t->blocks[size_t(y >> blockshift) * t->blocksx + (x >> blockshift)] |= any;
        }
}

static bool solidat(const solidtable &t, const long cell[3])
{
    const uint64_t *col = &t.bits[(size_t(cell[1]) * t.size[0] + cell[0]) * 4];
    return col[cell[2] >> 6] >> (cell[2] & 63) & 1;
}

static bool blockempty(const solidtable &t, const long cell[3])
{
    uint32_t any = t.blocks[size_t(cell[1] >> blockshift) * t.blocksx + (cell[0] >> blockshift)];
    return !(any >> (cell[2] >> blockshift) & 1);
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

// A ray walking from voxel to voxel. Cell boundaries are always worked out
// from the origin, so the walk can be moved along the ray and go on.
struct raywalk {
    double origin[3], dir[3];
    long cell[3], step[3];
    double next[3];   // ray parameter at the next boundary on each axis
};

static double crossing(const raywalk &w, int i, double plane)
{
    return w.dir[i] != 0 ? (plane - w.origin[i]) / w.dir[i] : INFINITY;
}

static void setnext(raywalk *w)
{
    for (int i = 0; i < 3; i++)
        w->next[i] = crossing(*w, i, double(w->dir[i] < 0 ? w->cell[i] : w->cell[i] + 1));
}

static int nearestaxis(const double t[3])
{
    return t[0] < t[1] ? (t[0] < t[2] ? 0 : 2) : (t[1] < t[2] ? 1 : 2);
}

// Moves the walk to parameter t, where it crosses into the cell whose index
// on axis a is given; the other axes are held within [lo, hi).
static void jump(raywalk *w, double t, int a, long cella, const long lo[3], const long hi[3])
{
    for (int i = 0; i < 3; i++) {
        double c = std::floor(w->origin[i] + w->dir[i] * t);
        w->cell[i] = i == a ? cella : c < double(lo[i]) ? lo[i] : c >= double(hi[i]) ? hi[i] - 1 : long(c);
    }
    setnext(w);
}

// A camera beyond the map's sides, where the world counts as solid from the
// map's top down: above that ground the ray flies until it meets it or comes
// over a side; a camera in the ground sees through it up to the map's side.
// False when the walk does not go on (r tells whether the ground was hit).
static bool enterfromoutside(const solidtable &t, raywalk *w, rayhit *r)
{
    double tin = 0, tout = INFINITY;
    int axis = 2;
    for (int i = 0; i < 2; i++) {
        double a = crossing(*w, i, 0), b = crossing(*w, i, double(t.size[i]));
        if (w->dir[i] == 0) {
            bool within = w->origin[i] >= 0 && w->origin[i] < double(t.size[i]);
            a = within ? -INFINITY : INFINITY;
            b = within ? INFINITY : -INFINITY;
        }
        if (a > b)
            std::swap(a, b);
        if (a > tin) {
            tin = a;
            axis = i;
        }
        tout = std::min(tout, b);
    }
    bool entersmap = tin < tout;
    if (w->origin[2] < 0 && w->dir[2] > 0) {
        double ground = crossing(*w, 2, 0);
        if (!entersmap || ground < tin) {
            r->hit = true;
            r->edge = true;
            r->axis = 2;
            r->distance = ground;
            for (int i = 0; i < 2; i++)
                r->voxel[i] = long(std::floor(std::clamp(w->origin[i] + w->dir[i] * ground, -1e12, 1e12)));
            r->voxel[2] = 0;
            return false;
        }
    }
    if (!entersmap)
        return false;
    const long lo[3] = {0, 0, -(1L << 40)}, hi[3] = {t.size[0], t.size[1], 1L << 40};
    jump(w, tin, axis, w->dir[axis] > 0 ? 0 : t.size[axis] - 1, lo, hi);
    r->axis = axis;
    r->distance = tin;
    return true;
}

// Crosses the empty 8 x 8 x 8 block around the walk's cell (clipped to the map).
static void crossblock(const solidtable &t, raywalk *w, rayhit *r)
{
    long lo[3], hi[3];
    double exit[3];
    for (int i = 0; i < 3; i++) {
        lo[i] = w->cell[i] >> blockshift << blockshift;
        hi[i] = std::min(lo[i] + (1L << blockshift), t.size[i]);
        exit[i] = crossing(*w, i, double(w->dir[i] < 0 ? lo[i] : hi[i]));
    }
    int a = nearestaxis(exit);
    jump(w, exit[a], a, w->dir[a] < 0 ? lo[a] - 1 : hi[a], lo, hi);
    r->axis = a;
    r->distance = exit[a];
}

rayhit castray(const solidtable &t, const double origin[3], const double dir[3])
{
    raywalk w;
    for (int i = 0; i < 3; i++) {
        w.origin[i] = origin[i];
        w.dir[i] = dir[i];
        w.cell[i] = long(std::floor(origin[i]));
        w.step[i] = dir[i] < 0 ? -1 : 1;
    }
    setnext(&w);
    rayhit r = {false, false, {0, 0, 0}, 2, 0};
    bool beyond = w.cell[0] < 0 || w.cell[0] >= t.size[0] || w.cell[1] < 0 || w.cell[1] >= t.size[1];
    if (beyond && !enterfromoutside(t, &w, &r))
        return r;
    for (int n = 0; n < maxsteps; n++) {
        long *cell = w.cell;
        if (cell[2] < 0 && dir[2] <= 0)
            return r;   // out through the top
        bool outside = cell[0] < 0 || cell[0] >= t.size[0] || cell[1] < 0 || cell[1] >= t.size[1];
        if (cell[2] < 0) {
            // Above the map, coming down: straight to the height of its top.
            double at = crossing(w, 2, 0);
            const long lo[3] = {-(1L << 40), -(1L << 40), 0}, hi[3] = {1L << 40, 1L << 40, 1};
            jump(&w, at, 2, 0, lo, hi);
            r.axis = 2;
            r.distance = at;
            continue;
        }
        // Beyond the sides the world counts as solid, as it does for the map's visibility.
        r.edge = outside;
        if (outside || cell[2] >= mapheight || solidat(t, cell)) {
            r.hit = true;
            for (int i = 0; i < 3; i++)
                r.voxel[i] = cell[i];
            return r;
        }
        if (blockempty(t, cell)) {
            crossblock(t, &w, &r);
            continue;
        }
        int axis = nearestaxis(w.next);
        r.axis = axis;
        r.distance = w.next[axis];
        cell[axis] += w.step[axis];
        w.next[axis] = crossing(w, axis, double(w.dir[axis] < 0 ? cell[axis] : cell[axis] + 1));
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
    long at[3];
    bool inside = true;
    for (int i = 0; i < 3; i++) {
        at[i] = long(std::floor(cam.position[i]));
        inside = inside && at[i] >= 0 && at[i] < table.size[i];
    }
    if (inside && solidat(table, at))
        std::fprintf(stderr, "mapview: the camera at (%ld, %ld, %ld) is inside solid rock\n", at[0], at[1], at[2]);
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

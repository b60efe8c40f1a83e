// mapview: turns a voxel map file into pictures and figures.
#include "mapview.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

static const int maxside = 8192;             // largest --size side
static const double maxdistance = 1000000;   // largest camera coordinate

static const char usagetext[] =
    "usage: mapview MAP.gmv --check            check the file (exit 0 good, 1 damaged)\n"
    "       mapview MAP.gmv --stats            columns, spans, voxels, air fraction, start position and frame\n"
    "       mapview MAP.gmv --top OUT.png [--size WxH]\n"
    "                                          top view, shaded by depth; --size shrinks it, each pixel\n"
    "                                          the mean of the pixels it covers (at most the map's size)\n"
    "       mapview MAP.gmv --slice Z OUT.png  horizontal cut at z (0..255)\n"
    "       mapview MAP.gmv --slice-x X OUT.png   vertical cut at x\n"
    "       mapview MAP.gmv --slice-y Y OUT.png   vertical cut at y\n"
    "       mapview MAP.gmv --view OUT.png [--size WxH] [--from X,Y,Z] [--look YAW,PITCH] [--fov DEGREES]\n"
    "                                          perspective view, from the map's start position by default;\n"
    "                                          yaw 0 looks toward -y, 90 toward +x; pitch > 0 looks up\n";

static int usage()
{
    std::fputs(usagetext, stderr);
    return 2;
}

static int badargument(const char *what, const char *text)
{
    std::fprintf(stderr, "mapview: %s: '%s'\n", what, text);
    return 2;
}

// ---- number parsing -------------------------------------------------------------

static bool parselong(const char *text, long *out)
{
    char *end;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end || errno)
        return false;
    *out = v;
    return true;
}

// "a,b,c" into count finite doubles.
static bool parsedoubles(const char *text, double *out, int count)
{
    const char *p = text;
    for (int i = 0; i < count; i++) {
        char *end;
        errno = 0;
        out[i] = std::strtod(p, &end);
        if (end == p || errno || !std::isfinite(out[i]))
            return false;
        if (i < count - 1 && *end != ',')
            return false;
        p = end + (i < count - 1);
        if (i == count - 1 && *end)
            return false;
    }
    return true;
}

static bool parsesize(const char *text, int *w, int *h)
{
    char *end;
    errno = 0;
    long a = std::strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X') || errno)
        return false;
    const char *rest = end + 1;
    long b = std::strtol(rest, &end, 10);
    if (end == rest || *end || errno || a < 1 || b < 1 || a > maxside || b > maxside)
        return false;
    *w = int(a);
    *h = int(b);
    return true;
}

// ---- commands -------------------------------------------------------------------------

static bool load(const char *path, mapfile *map)
{
    mapfault fault;
    if (loadmap(path, map, &fault))
        return true;
    char text[400];
    formatfault(fault, text, sizeof text);
    std::fprintf(stderr, "mapview: %s: %s\n", path, text);
    return false;
}

static int runcheck(const char *path)
{
    mapfile map;
    mapfault fault;
    if (!loadmap(path, &map, &fault)) {
        char text[400];
        formatfault(fault, text, sizeof text);
        std::printf("%s: damaged: %s\n", path, text);
        return 1;
    }
    std::printf("%s: good: %u x %u columns, %zu bytes\n", path, map.header.sizex, map.header.sizey, map.bytes.size());
    return 0;
}

static void printvector(const char *name, const double v[3])
{
    std::printf("%-16s %g, %g, %g\n", name, v[0], v[1], v[2]);
}

static int runstats(const char *path)
{
    mapfile map;
    if (!load(path, &map))
        return 1;
    mapstats s;
    countmap(map, &s);
    const mapheader &h = map.header;
    std::printf("%-16s %s (%zu bytes)\n", "map", path, map.bytes.size());
    std::printf("%-16s %u x %u x %d\n", "size", h.sizex, h.sizey, mapheight);
    std::printf("%-16s %llu\n", "columns", (unsigned long long)s.columns);
    std::printf("%-16s %llu\n", "spans", (unsigned long long)s.spans);
    std::printf("%-16s %llu\n", "coloured voxels", (unsigned long long)s.coloured);
    std::printf("%-16s %llu\n", "hidden solid", (unsigned long long)s.hidden);
    std::printf("%-16s %llu\n", "solid voxels", (unsigned long long)(s.coloured + s.hidden));
    std::printf("%-16s %llu\n", "air voxels", (unsigned long long)s.air);
    std::printf("%-16s %.6f\n", "air fraction", s.columns ? double(s.air) / double(s.columns * mapheight) : 0.0);
    printvector("start position", h.start);
    printvector("right", h.right);
    printvector("down", h.down);
    printvector("forward", h.forward);
    return 0;
}

// --top OUT.png, or --top OUT.png --size WxH (a thumbnail).
static int runtop(const char *path, int argc, char **argv)
{
    const char *out = argv[0];
    int width = 0, height = 0;
    if (argc == 3) {
        if (std::strcmp(argv[1], "--size"))
            return badargument("unknown top view option", argv[1]);
        if (!parsesize(argv[2], &width, &height))
            return badargument("--size wants WxH, each 1..8192", argv[2]);
    }
    mapfile map;
    if (!load(path, &map))
        return 1;
    if (width > int(map.header.sizex) || height > int(map.header.sizey)) {
        std::fprintf(stderr, "mapview: --size %dx%d is larger than the map's %u x %u\n", width, height,
                     map.header.sizex, map.header.sizey);
        return 2;
    }
    picture pic;
    drawtop(map, &pic);
    if (width) {
        picture full = std::move(pic);
        shrinkpicture(full, width, height, &pic);
    }
    return savepicture(pic, out) ? 0 : 1;
}

static int runslice(const char *path, int axis, const char *where, const char *out)
{
    long at;
    if (!parselong(where, &at))
        return badargument("slice position is not a whole number", where);
    mapfile map;
    if (!load(path, &map))
        return 1;
    picture pic;
    if (!drawslice(map, axis, at, &pic))
        return 1;
    return savepicture(pic, out) ? 0 : 1;
}

// --view OUT.png and its options.
static int runview(const char *path, int argc, char **argv)
{
    const char *out = argv[0];
    int width = 1024, height = 768;
    double from[3], look[2], fov = 90;
    bool hasfrom = false, haslook = false;
    for (int i = 1; i < argc; i += 2) {
        const char *opt = argv[i], *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!value)
            return badargument("option needs a value", opt);
        if (!std::strcmp(opt, "--size")) {
            if (!parsesize(value, &width, &height))
                return badargument("--size wants WxH, each 1..8192", value);
        } else if (!std::strcmp(opt, "--from")) {
            if (!parsedoubles(value, from, 3))
                return badargument("--from wants X,Y,Z", value);
            hasfrom = true;
        } else if (!std::strcmp(opt, "--look")) {
            if (!parsedoubles(value, look, 2))
                return badargument("--look wants YAW,PITCH in degrees", value);
            haslook = true;
        } else if (!std::strcmp(opt, "--fov")) {
            if (!parsedoubles(value, &fov, 1) || fov < 1 || fov > 170)
                return badargument("--fov wants degrees from 1 to 170", value);
        } else {
            return badargument("unknown view option", opt);
        }
    }
    mapfile map;
    if (!load(path, &map))
        return 1;
    camera cam;
    headercamera(map.header, &cam);
    cam.fov = fov;
    if (hasfrom)
        for (int i = 0; i < 3; i++)
            cam.position[i] = from[i];
    if (haslook)
        aimcamera(&cam, look[0], look[1]);
    for (double v : cam.position)
        if (std::fabs(v) > maxdistance) {
            std::fprintf(stderr, "mapview: the camera at %g, %g, %g is too far from the map\n", cam.position[0],
                         cam.position[1], cam.position[2]);
            return hasfrom ? 2 : 1;
        }
    picture pic;
    makepicture(&pic, width, height);
    drawview(map, cam, &pic);
    return savepicture(pic, out) ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (argc < 3)
        return usage();
    const char *path = argv[1], *command = argv[2];
    int rest = argc - 3;
    char **args = argv + 3;
    if (!std::strcmp(command, "--check") && rest == 0)
        return runcheck(path);
    if (!std::strcmp(command, "--stats") && rest == 0)
        return runstats(path);
    if (!std::strcmp(command, "--top") && (rest == 1 || rest == 3))
        return runtop(path, rest, args);
    static const char *const slices[3] = {"--slice", "--slice-x", "--slice-y"};
    for (int axis = 0; axis < 3; axis++)
        if (!std::strcmp(command, slices[axis]) && rest == 2)
            return runslice(path, axis, args[0], args[1]);
    if (!std::strcmp(command, "--view") && rest >= 1)
        return runview(path, rest, args);
    return usage();
}

// mapexport: a voxel map in the formats other tools open. The output's
// extension picks the format from the table below.
#include "glb.h"
#include "mapexport.h"
#include "safefile.h"
#include "vox.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>
#include <unistd.h>

namespace {

// Options, as bits of the formats that take them.
enum : unsigned {
    optregion = 1,
    optscale = 2,
    optsolid = 4,
    optquantize = 8,
    optunlit = 16,
    optthreads = 32,
};

struct exportformat {
    const char *extension;   // compared without regard to case
    const char *name;
    exportwriter write;
    unsigned options;
};

const exportformat formats[] = {
    {".glb", "glTF binary", writeglb, optregion | optscale | optquantize | optunlit | optthreads},
    {".vox", "MagicaVoxel", writevox, optregion | optsolid | optthreads},
};

struct optiondef {
    const char *name;
    unsigned bit;
    bool takesvalue;
};

const optiondef optiondefs[] = {
    {"--region", optregion, true},   {"--scale", optscale, true}, {"--solid", optsolid, false},
    {"--quantize", optquantize, false}, {"--unlit", optunlit, false}, {"--threads", optthreads, true},
};

const double maxscale = 1e6;
const int maxthreads = 256;

const char usagetext[] =
    "usage: mapexport MAP.gmv OUT.glb [--region X0,Y0,X1,Y1] [--scale S] [--quantize] [--unlit] [--threads N]\n"
    "       mapexport MAP.gmv OUT.vox [--region X0,Y0,X1,Y1] [--solid] [--threads N]\n"
    "  The format follows OUT's extension (any case).\n"
    "  --region    an inclusive rectangle of columns, exported as if it were the whole map\n"
    "  --scale     glTF: metres per voxel (default 1)\n"
    "  --quantize  glTF: 16-bit integer positions (KHR_mesh_quantization), a smaller file\n"
    "  --unlit     glTF: colours shown as they are, without lighting (KHR_materials_unlit)\n"
    "  --solid     .vox: the hidden solid voxels too, each coloured as the nearest coloured voxel above it\n"
    "  --threads   threads to use (default: every hardware thread)\n"
    "  Axes: one voxel is one unit; glTF (X, Y, Z) = (x, 256 - z, y), .vox (X, Y, Z) = (x, 1023 - y, 255 - z).\n"
    "  Exit status: 0 written, 1 failed, 2 bad command line.\n";

int usage()
{
    std::fputs(usagetext, stderr);
    return 2;
}

int badargument(const char *what, const char *text)
{
    std::fprintf(stderr, "mapexport: %s: '%s'\n", what, text);
    return 2;
}

const exportformat *findformat(const char *path)
{
    size_t length = std::strlen(path);
    for (const exportformat &f : formats) {
        size_t e = std::strlen(f.extension);
        if (length > e && strcasecmp(path + length - e, f.extension) == 0)
            return &f;
    }
    return nullptr;
}

int unknownformat(const char *path)
{
    std::fprintf(stderr, "mapexport: %s: not a format mapexport writes; the formats are", path);
    for (const exportformat &f : formats)
        std::fprintf(stderr, " %s (%s)", f.extension, f.name);
    std::fprintf(stderr, "\n");
    return 2;
}

bool parseuint(const char *text, const char **end, uint32_t *out)
{
    if (*text < '0' || *text > '9')
        return false;
    char *stop;
    errno = 0;
    unsigned long v = std::strtoul(text, &stop, 10);
    if (errno || v > 0xFFFFFFFFul)
        return false;
    *out = uint32_t(v);
    *end = stop;
    return true;
}

// "X0,Y0,X1,Y1": four whole numbers, the first corner not past the second.
bool parseregion(const char *text, exportregion *r)
{
    uint32_t v[4];
    const char *p = text;
    for (int i = 0; i < 4; i++) {
        if (!parseuint(p, &p, &v[i]) || *p != (i < 3 ? ',' : 0))
            return false;
        p++;
    }
    *r = {v[0], v[1], v[2], v[3]};
    return true;
}

// Reads the options after MAP and OUT into o; returns 0, or 2 after saying why.
int parseoptions(int argc, char **argv, const exportformat &format, exportoptions *o, bool *hasregion)
{
    for (int i = 3; i < argc; i++) {
        const optiondef *def = nullptr;
        for (const optiondef &d : optiondefs)
            if (!std::strcmp(argv[i], d.name))
                def = &d;
        if (!def)
            return badargument("unknown option", argv[i]);
        if (!(format.options & def->bit)) {
            std::fprintf(stderr, "mapexport: %s is not an option of %s (%s)\n", def->name, format.name,
                         format.extension);
            return 2;
        }
        const char *value = def->takesvalue && i + 1 < argc ? argv[++i] : nullptr;
        if (def->takesvalue && !value)
            return badargument("option needs a value", def->name);
        char *end;
        switch (def->bit) {
        case optregion:
            if (!parseregion(value, &o->region))
                return badargument("--region wants X0,Y0,X1,Y1, whole numbers", value);
            if (o->region.x1 < o->region.x0 || o->region.y1 < o->region.y0)
                return badargument("--region is empty: X1 is less than X0 or Y1 than Y0", value);
            *hasregion = true;
            break;
        case optscale:
            errno = 0;
            o->scale = std::strtod(value, &end);
            if (end == value || *end || errno || !std::isfinite(o->scale) || o->scale <= 0 || o->scale > maxscale)
                return badargument("--scale wants a number above 0, at most 1000000", value);
            break;
        case optthreads:
            errno = 0;
            o->threads = int(std::strtol(value, &end, 10));
            if (end == value || *end || errno || o->threads < 1 || o->threads > maxthreads)
                return badargument("--threads wants a whole number from 1 to 256", value);
            break;
        case optsolid:
            o->solid = true;
            break;
        case optquantize:
            o->quantize = true;
            break;
        case optunlit:
            o->unlit = true;
            break;
        }
    }
    return 0;
}

// Loads and checks the map; a damaged one is named as mapview --check names it.
bool loadchecked(const char *path, mapfile *map)
{
    mapfault fault;
    try {
        if (loadmap(path, map, &fault))
            return true;
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "mapexport: cannot read %s: out of memory\n", path);
        return false;
    }
    char text[400];
    formatfault(fault, text, sizeof text);
    if (fault.kind == mapfaultfile)
        std::fprintf(stderr, "mapexport: %s\n", text);
    else
        std::fprintf(stderr, "mapexport: %s: damaged: %s\n", path, text);
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return usage();
    const char *mappath = argv[1], *outpath = argv[2];
    if (mappath[0] == '-' || outpath[0] == '-')
        return usage();
    const exportformat *format = findformat(outpath);
    if (!format)
        return unknownformat(outpath);
    exportoptions options;
    bool hasregion = false;
    if (int status = parseoptions(argc, argv, *format, &options, &hasregion))
        return status;
    mapfile map;
    if (!loadchecked(mappath, &map))
        return 1;
    const mapheader &h = map.header;
    if (!hasregion)
        options.region = {0, 0, h.sizex - 1, h.sizey - 1};
    if (options.region.x1 >= h.sizex || options.region.y1 >= h.sizey) {
        std::fprintf(stderr, "mapexport: --region %u,%u,%u,%u is not inside the map's %u x %u columns\n",
                     options.region.x0, options.region.y0, options.region.x1, options.region.y1, h.sizex, h.sizey);
        return 2;
    }
    options.progress = isatty(STDERR_FILENO);
    char why[safemessagesize];
    if (!format->write(map, options, outpath, why, sizeof why)) {
        std::fprintf(stderr, "mapexport: %s\n", why);
        return 1;
    }
    return 0;
}

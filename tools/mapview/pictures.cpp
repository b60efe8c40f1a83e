// Pictures held in memory, their PNG files, the top view, slices and the
// map's figures.
#include "mapview.h"
#include "png.h"

#include <cstdio>

void makepicture(picture *pic, int width, int height)
{
    pic->width = width;
    pic->height = height;
    pic->pixels.assign(size_t(width) * height, skyshade);
}

void shrinkpicture(const picture &in, int width, int height, picture *out)
{
    makepicture(out, width, height);
    for (int oy = 0; oy < height; oy++) {
        long y0 = long(oy) * in.height / height, y1 = long(oy + 1) * in.height / height;
        for (int ox = 0; ox < width; ox++) {
            long x0 = long(ox) * in.width / width, x1 = long(ox + 1) * in.width / width;
            uint64_t sums[4] = {0, 0, 0, 0};
            for (long y = y0; y < y1; y++)
                for (long x = x0; x < x1; x++) {
                    uint32_t p = in.pixels[size_t(y) * in.width + x];
                    for (int c = 0; c < 4; c++)
                        sums[c] += (p >> (8 * c)) & 0xFF;
                }
            uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
            uint32_t pixel = 0;
            for (int c = 0; c < 4; c++)
                pixel |= uint32_t((sums[c] + n / 2) / n) << (8 * c);
            out->pixels[size_t(oy) * width + ox] = pixel;
        }
    }
}

bool savepicture(const picture &pic, const char *path)
{
    pngwriter writer;
    if (!pngbegin(writer, path, pic.width, pic.height)) {
        std::fprintf(stderr, "mapview: %s\n", writer.message);
        return false;
    }
    int ok = 1;
    for (uint32_t pixel : pic.pixels)
        ok = pngpixel(writer, pixel);
    if (!ok) {
        pngabort(writer);
        std::fprintf(stderr, "mapview: %s\n", writer.message[0] ? writer.message : "cannot write the picture");
        return false;
    }
    std::printf("wrote %s (%d x %d)\n", path, pic.width, pic.height);
    return true;
}

// ---- top view ----------------------------------------------------------------------

// Deeper surfaces are darker: full brightness at z = 0, half at z = 256.
static uint32_t depthshade(uint32_t colour, int z)
{
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t c = (colour >> shift) & 0xFF;
        out |= (c * uint32_t(512 - z) / 512) << shift;
    }
    return out;
}

void drawtop(const mapfile &map, picture *pic)
{
    const mapheader &h = map.header;
    makepicture(pic, int(h.sizex), int(h.sizey));
    for (uint32_t y = 0; y < h.sizey; y++)
        for (uint32_t x = 0; x < h.sizex; x++) {
            size_t size;
            const uint8_t *bytes = columnbytes(map, x, y, &size);
            int z = columntop(bytes);
            uint32_t colour = 0;
            columnvoxel(bytes, size, z, &colour);   // the topmost solid voxel always has a colour
            pic->pixels[size_t(y) * h.sizex + x] = depthshade(colour, z);
        }
}

// ---- slices -------------------------------------------------------------------------

static uint32_t voxelshade(int state, uint32_t colour)
{
    if (state == voxelair)
        return airshade;
    return state == voxelhidden ? hiddenshade : opaque(colour);
}

// A horizontal cut at height z: x across, y down the picture.
static void slicez(const mapfile &map, int z, picture *pic)
{
    const mapheader &h = map.header;
    makepicture(pic, int(h.sizex), int(h.sizey));
    for (uint32_t y = 0; y < h.sizey; y++)
        for (uint32_t x = 0; x < h.sizex; x++) {
            size_t size;
            const uint8_t *bytes = columnbytes(map, x, y, &size);
            uint32_t colour = 0;
            int state = columnvoxel(bytes, size, z, &colour);
            pic->pixels[size_t(y) * h.sizex + x] = voxelshade(state, colour);
        }
}

// A vertical cut: along y at column x (axis 1) or along x at row y (axis 2);
// z runs down the picture.
static void slicevertical(const mapfile &map, int axis, uint32_t at, picture *pic)
{
    const mapheader &h = map.header;
    uint32_t across = axis == 1 ? h.sizey : h.sizex;
    makepicture(pic, int(across), mapheight);
    mapcolumn col;
    for (uint32_t i = 0; i < across; i++) {
        if (axis == 1)
            decodemapcolumn(map, at, i, &col);
        else
            decodemapcolumn(map, i, at, &col);
        for (int z = 0; z < mapheight; z++)
            pic->pixels[size_t(z) * across + i] = voxelshade(col.state[z], col.colour[z]);
    }
}

bool drawslice(const mapfile &map, int axis, long at, picture *pic)
{
    static const char *const names[3] = {"z", "x", "y"};
    long limit = axis == 0 ? mapheight : axis == 1 ? long(map.header.sizex) : long(map.header.sizey);
    if (at < 0 || at >= limit) {
        std::fprintf(stderr, "mapview: slice %s = %ld is outside 0..%ld\n", names[axis], at, limit - 1);
        return false;
    }
    if (axis == 0)
        slicez(map, int(at), pic);
    else
        slicevertical(map, axis, uint32_t(at), pic);
    return true;
}

// ---- figures -------------------------------------------------------------------------

// Counts from the span headers alone: air between air start and top start,
// a colour per stored word, the rest hidden solid.
void countmap(const mapfile &map, mapstats *stats)
{
    *stats = {};
    stats->columns = map.offsets.size() - 1;
    for (uint64_t i = 0; i < stats->columns; i++) {
        const uint8_t *bytes = map.bytes.data() + map.offsets[i];
        size_t size = map.offsets[i + 1] - map.offsets[i], pos = 0;
        uint64_t air = 0, coloured = 0;
        for (int index = 0; pos + 4 <= size; index++) {
            const uint8_t *p = bytes + pos;
            int airstart = index == 0 ? 0 : p[3];
            air += p[1] - airstart;
            size_t words = p[0] > 0 ? p[0] - 1u : size_t(p[2] - p[1] + 1);
            coloured += words;
            stats->spans++;
            pos += 4 + 4 * words;
        }
        stats->air += air;
        stats->coloured += coloured;
        stats->hidden += mapheight - air - coloured;
    }
}

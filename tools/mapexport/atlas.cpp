// Texture atlases: shelf packing and the PNG encoding.
#include "atlas.h"

#include "byteorder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <zlib.h>

bool packatlas(const tilesurface &s, tileatlas *a)
{
    size_t count = s.quads.size();
    a->places.assign(count, {0, 0});
    uint64_t area = s.texels.size();
    int widest = 1;
    for (const surfacequad &q : s.quads)
        widest = std::max(widest, int(q.runs));
    // A square of the texels' area, as wide as the widest rectangle.
    int width = 1;
    while (width < widest || uint64_t(width) * width < area)
        width *= 2;
    if (width > atlasmaxside)
        return false;
    // Tallest first, so each shelf is filled with rectangles of about its height.
    std::vector<uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](uint32_t p, uint32_t q) {
        const surfacequad &a1 = s.quads[p], &b1 = s.quads[q];
        return a1.rows != b1.rows ? a1.rows > b1.rows : a1.runs != b1.runs ? a1.runs > b1.runs : p < q;
    });
    int x = 0, y = 0, shelf = 0;
    for (uint32_t k : order) {
        const surfacequad &q = s.quads[k];
        if (x + q.runs > width) {
            y += shelf;
            x = 0;
            shelf = 0;
        }
        if (y + q.rows > atlasmaxside)
            return false;
        a->places[k] = {uint16_t(x), uint16_t(y)};
        x += q.runs;
        shelf = std::max(shelf, int(q.rows));
    }
    // Both sides powers of two, for engines that want them (the rows past
    // the last shelf are zeros, which compress to almost nothing).
    int height = 1;
    while (height < y + shelf)
        height *= 2;
    if (height > atlasmaxside)
        return false;
    a->width = width;
    a->height = height;
    return true;
}

// ---- PNG ---------------------------------------------------------------------

static void putchunk(std::vector<uint8_t> *out, const char *kind, const uint8_t *data, size_t size)
{
    uint8_t head[8];
    putbe32(head, uint32_t(size));
    std::memcpy(head + 4, kind, 4);
    out->insert(out->end(), head, head + 8);
    out->insert(out->end(), data, data + size);
    uLong crc = crc32(0, head + 4, 4);
    if (size)   // zlib takes a null pointer as a request for the starting value
        crc = crc32(crc, data, uInt(size));
    uint8_t tail[4];
    putbe32(tail, uint32_t(crc));
    out->insert(out->end(), tail, tail + 4);
}

// Rows of filter byte 0 and R, G, B, A texels.
static std::vector<uint8_t> atlasrows(const tilesurface &s, const tileatlas &a)
{
    size_t stride = 1 + 4 * size_t(a.width);
    std::vector<uint8_t> raw(stride * a.height, 0);
    for (size_t k = 0; k < s.quads.size(); k++) {
        const surfacequad &q = s.quads[k];
        const uint32_t *texel = &s.texels[q.texels];
        for (int b = 0; b < q.rows; b++) {
            uint8_t *p = &raw[stride * (a.places[k].y + b) + 1 + 4 * size_t(a.places[k].x)];
            for (int i = 0; i < q.runs; i++, p += 4) {
                uint32_t c = *texel++;
                p[0] = uint8_t(c >> 16);
                p[1] = uint8_t(c >> 8);
                p[2] = uint8_t(c);
                p[3] = 255;
            }
        }
    }
    return raw;
}

bool encodeatlas(const tilesurface &s, const tileatlas &a, std::vector<uint8_t> *png)
{
    std::vector<uint8_t> raw = atlasrows(s, a);
    uLongf packed = compressBound(uLong(raw.size()));
    std::vector<uint8_t> data(packed);
    // The fastest level: the atlas is a small part of the file.
    if (compress2(data.data(), &packed, raw.data(), uLong(raw.size()), 1) != Z_OK)
        return false;
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    uint8_t ihdr[13] = {0};
    putbe32(ihdr, uint32_t(a.width));
    putbe32(ihdr + 4, uint32_t(a.height));
    ihdr[8] = 8;   // bits per channel
    ihdr[9] = 6;   // RGBA
    png->assign(signature, signature + 8);
    putchunk(png, "IHDR", ihdr, sizeof ihdr);
    putchunk(png, "IDAT", data.data(), packed);
    putchunk(png, "IEND", nullptr, 0);
    return true;
}

// Streaming PNG writer.
#include "png.h"

#include "byteorder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
static const uint8_t iend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
static const uint32_t adlerbase = 65521;
static const int headbytes = 37;          // signature, IHDR, the IDAT length
static const int fixedbytes = 57;         // everything but the IDAT data

static void buildcrctable(pngwriter &png)
{
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        png.crctable[n] = c;
    }
}

static uint32_t crcbytes(const pngwriter &png, uint32_t crc, const uint8_t *bytes, size_t size)
{
    for (size_t i = 0; i < size; i++)
        crc = png.crctable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

// The IDAT data: zlib header, a stored block of 5 + 4 * width + 1 bytes per
// row, the Adler-32.
static uint64_t idatlength(int width, int height)
{
    return 6 + uint64_t(height) * (4 * uint64_t(width) + 6);
}

static void writeraw(pngwriter &png, const uint8_t *bytes, size_t size)
{
    if (png.failed)
        return;
    if (png.length + size > png.size) {
        png.failed = true;   // more than the size announced: the writer is wrong
        std::snprintf(png.message, sizeof png.message, "cannot write the image: more bytes than its %llu",
                      (unsigned long long)png.size);
        return;
    }
    if (png.sink == pngsinkmemory) {
        std::memcpy(png.memory + png.length, bytes, size);
    } else if (!safewrite(png.file, bytes, size)) {
        png.failed = true;
        std::snprintf(png.message, sizeof png.message, "cannot write %s: %s", png.file.path,
                      std::strerror(png.file.error));
    }
    png.length += size;
}

// Writes bytes of the IDAT chunk, keeping its CRC.
static void writecrc(pngwriter &png, const uint8_t *bytes, size_t size)
{
    png.crc = crcbytes(png, png.crc, bytes, size);
    writeraw(png, bytes, size);
}

// Writes zlib data bytes, keeping both checksums.
static void writedata(pngwriter &png, const uint8_t *bytes, size_t size)
{
    uint32_t s1 = png.adler & 0xFFFF, s2 = png.adler >> 16;
    for (size_t i = 0; i < size; i++) {
        s1 += bytes[i];
        if (s1 >= adlerbase)
            s1 -= adlerbase;
        s2 += s1;
        if (s2 >= adlerbase)
            s2 -= adlerbase;
    }
    png.adler = s2 << 16 | s1;
    writecrc(png, bytes, size);
}

static void freememory(pngwriter &png)
{
    std::free(png.memory);
    png.memory = nullptr;
    png.memoryready = false;
}

void pngabort(pngwriter &png)
{
    if (png.sink == pngsinkfile)
        safeabort(png.file);
    if (png.sink == pngsinkmemory)
        freememory(png);
    png.sink = pngsinknone;
}

// Everything a new image starts with; false with the message for a size the
// format cannot hold (LEN must fit in 16 bits and the IDAT length in 31).
static bool startimage(pngwriter &png, const char *name, int width, int height)
{
    pngabort(png);
    freememory(png);
    png.x = 0;
    png.y = 0;
    png.length = 0;
    png.failed = false;
    png.message[0] = 0;
    buildcrctable(png);
    if (width < 1 || width > pngmaxwidth || height < 1 || idatlength(width, height) > 0x7FFFFFFF) {
        std::snprintf(png.message, sizeof png.message, "cannot write %s: a %d x %d image cannot be stored (width 1..%d)",
                      name, width, height, pngmaxwidth);
        return false;
    }
    png.width = width;
    png.height = height;
    png.size = fixedbytes + idatlength(width, height);
    return true;
}

// Offsets 0..36 in one piece, then the start of the IDAT chunk.
static void writehead(pngwriter &png)
{
    uint8_t head[headbytes] = {0};
    std::memcpy(head, signature, 8);
    putbe32(head + 8, 13);
    std::memcpy(head + 12, "IHDR", 4);
    putbe32(head + 16, uint32_t(png.width));
    putbe32(head + 20, uint32_t(png.height));
    head[24] = 8;   // bit depth
    head[25] = 6;   // colour type: RGB with alpha
    putbe32(head + 29, crcbytes(png, 0xFFFFFFFFu, head + 12, 17) ^ 0xFFFFFFFFu);
    putbe32(head + 33, uint32_t(idatlength(png.width, png.height)));
    writeraw(png, head, sizeof head);

    static const uint8_t idat[6] = {'I', 'D', 'A', 'T', 0x78, 0x01};
    png.crc = 0xFFFFFFFFu;
    writecrc(png, idat, sizeof idat);
    png.adler = 1;
}

int pngbegin(pngwriter &png, const char *name, int width, int height)
{
    if (!startimage(png, name, width, height))
        return 0;
    if (!safeopen(png.file, name)) {
        std::snprintf(png.message, sizeof png.message, "%s", png.file.message);
        return 0;
    }
    png.sink = pngsinkfile;
    writehead(png);
    return 1;
}

int pngbeginmemory(pngwriter &png, int width, int height)
{
    if (!startimage(png, "the image", width, height))
        return 0;
    png.memory = static_cast<uint8_t *>(std::malloc(size_t(png.size)));
    if (!png.memory) {
        std::snprintf(png.message, sizeof png.message, "out of memory for a %d x %d image (%llu bytes)", width, height,
                      (unsigned long long)png.size);
        return 0;
    }
    png.sink = pngsinkmemory;
    writehead(png);
    return 1;
}

// Checksums and IEND; then the image is handed over: the file renamed into
// place, or the memory kept for pngtakememory.
static int finish(pngwriter &png)
{
    uint8_t tail[8];
    putbe32(tail, png.adler);
    writecrc(png, tail, 4);
    putbe32(tail, png.crc ^ 0xFFFFFFFFu);
    writeraw(png, tail, 4);
    writeraw(png, iend, sizeof iend);
    if (!png.failed && png.length != png.size) {
        png.failed = true;
        std::snprintf(png.message, sizeof png.message, "cannot write the image: %llu bytes instead of %llu",
                      (unsigned long long)png.length, (unsigned long long)png.size);
    }
    if (png.failed) {
        pngabort(png);
        return 0;
    }
    if (png.sink == pngsinkmemory) {
        png.memoryready = true;
        png.sink = pngsinknone;
        return 1;
    }
    png.sink = pngsinknone;
    if (!safecommit(png.file)) {
        std::snprintf(png.message, sizeof png.message, "%s", png.file.message);
        return 0;
    }
    return 1;
}

int pngpixel(pngwriter &png, uint32_t colour)
{
    if (png.sink == pngsinknone)
        return 0;
    if (png.x == 0) {
        uint32_t len = uint32_t(4 * png.width + 1);
        uint8_t block[5] = {uint8_t(png.y == png.height - 1)};
        putle16(block + 1, uint16_t(len));
        putle16(block + 3, uint16_t(~len));
        writecrc(png, block, sizeof block);
        static const uint8_t filternone = 0;
        writedata(png, &filternone, 1);
    }
    uint8_t rgba[4] = {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour), uint8_t(colour >> 24)};
    writedata(png, rgba, sizeof rgba);
    if (++png.x == png.width) {
        png.x = 0;
        if (++png.y == png.height)
            return finish(png);
    }
    return png.failed ? 0 : 1;
}

uint8_t *pngtakememory(pngwriter &png, size_t *size)
{
    if (!png.memoryready) {
        *size = 0;
        return nullptr;
    }
    uint8_t *bytes = png.memory;
    *size = size_t(png.size);
    png.memory = nullptr;
    png.memoryready = false;
    return bytes;
}

char *fileextension(char *name)
{
    size_t n = std::strlen(name);
    for (size_t i = n; i-- > 1;)
        if (name[i] == '.')
            return name + i;
    return name;
}

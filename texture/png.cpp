// Streaming PNG writer.
#include "png.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

pngwriter png;

static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
static const uint8_t iend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
static const uint32_t adlerbase = 65521;
static const long lengthoffset = 33;       // the IDAT length field
static const long fixedbytes = 57;         // everything but the IDAT data

static void buildcrctable()
{
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        png.crctable[n] = c;
    }
}

static uint32_t crcbytes(uint32_t crc, const uint8_t *bytes, size_t size)
{
    for (size_t i = 0; i < size; i++)
        crc = png.crctable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

static void putbe32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

static void writeraw(const uint8_t *bytes, size_t size)
{
    if (std::fwrite(bytes, 1, size, png.file) != size)
        png.failed = true;
}

// Writes bytes of the IDAT chunk, keeping its CRC.
static void writecrc(const uint8_t *bytes, size_t size)
{
    png.crc = crcbytes(png.crc, bytes, size);
    writeraw(bytes, size);
}

// Writes zlib data bytes, keeping both checksums.
static void writedata(const uint8_t *bytes, size_t size)
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
    writecrc(bytes, size);
}

static int fail(const char *format, const char *detail)
{
    std::snprintf(png.message, sizeof png.message, format, png.path, detail);
    return 0;
}

// Creates the temporary file beside the target, readable like a normal file.
static bool opentemp()
{
    std::snprintf(png.temppath, sizeof png.temppath, "%s.XXXXXX", png.path);
    int fd = mkstemp(png.temppath);
    if (fd < 0)
        return false;
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    png.file = fdopen(fd, "wb");
    if (!png.file) {
        close(fd);
        std::remove(png.temppath);
        return false;
    }
    return true;
}

void pngabort()
{
    if (png.file) {
        std::fclose(png.file);
        std::remove(png.temppath);
        png.file = nullptr;
    }
}

int pngbegin(const char *name, int width, int height)
{
    pngabort();
    png.x = 0;
    png.y = 0;
    png.failed = false;
    png.message[0] = 0;
    buildcrctable();
    if (std::strlen(name) >= sizeof png.path) {
        std::snprintf(png.message, sizeof png.message, "file name is longer than %d characters", pngpathmax - 1);
        return 0;
    }
    std::strcpy(png.path, name);
    // LEN must fit in 16 bits and the IDAT length in 31.
    if (width < 1 || width > pngmaxwidth || height < 1 || (4 * width + 6) * int64_t(height) + 6 > 0x7FFFFFFF)
    {
        std::snprintf(png.message, sizeof png.message, "cannot write %s: a %d x %d image cannot be stored (width 1..%d)",
                      png.path, width, height, pngmaxwidth);
        return 0;
    }
    if (!opentemp())
        return fail("cannot create %s: %s", std::strerror(errno));
    png.width = width;
    png.height = height;

    uint8_t head[37] = {0};
    std::memcpy(head, signature, 8);
    putbe32(head + 8, 13);
    std::memcpy(head + 12, "IHDR", 4);
    putbe32(head + 16, uint32_t(width));
    putbe32(head + 20, uint32_t(height));
    head[24] = 8;   // bit depth
    head[25] = 6;   // colour type: RGB with alpha
    putbe32(head + 29, crcbytes(0xFFFFFFFFu, head + 12, 17) ^ 0xFFFFFFFFu);
    // head + 33: the IDAT length, patched when the image is complete
    writeraw(head, sizeof head);

    static const uint8_t idat[6] = {'I', 'D', 'A', 'T', 0x78, 0x01};
    png.crc = 0xFFFFFFFFu;
    writecrc(idat, sizeof idat);
    png.adler = 1;
    return 1;
}

// Checksums, IEND and the IDAT length; then the temporary file becomes the image.
static int finish()
{
    uint8_t tail[8];
    putbe32(tail, png.adler);
    writecrc(tail, 4);
    putbe32(tail, png.crc ^ 0xFFFFFFFFu);
    writeraw(tail, 4);
    writeraw(iend, sizeof iend);

    long end = std::ftell(png.file);
    long expected = fixedbytes + 6 + long(png.height) * (4 * png.width + 6);
    if (end != expected)
        png.failed = true;
    uint8_t length[4];
    putbe32(length, uint32_t(end - fixedbytes));
    if (std::fseek(png.file, lengthoffset, SEEK_SET) != 0)
        png.failed = true;
    else
        writeraw(length, 4);
    int err = 0;
    if (std::fflush(png.file) != 0 || std::ferror(png.file)) {
        png.failed = true;
        err = errno;
    }
    if (std::fclose(png.file) != 0 && !png.failed) {
        png.failed = true;
        err = errno;
    }
    png.file = nullptr;
    if (png.failed) {
        std::remove(png.temppath);
        return fail("cannot write %s: %s", err ? std::strerror(err) : "write error");
    }
    if (std::rename(png.temppath, png.path) != 0) {
        err = errno;
        std::remove(png.temppath);
        return fail("cannot write %s: %s", std::strerror(err));
    }
    return 1;
}

int pngpixel(uint32_t colour)
{
    if (!png.file)
        return 0;
    if (png.x == 0) {
        uint32_t len = uint32_t(4 * png.width + 1);
        uint8_t block[5] = {uint8_t(png.y == png.height - 1), uint8_t(len), uint8_t(len >> 8), uint8_t(~len),
                            uint8_t(~len >> 8)};
        writecrc(block, sizeof block);
        static const uint8_t filternone = 0;
        writedata(&filternone, 1);
    }
    uint8_t rgba[4] = {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour), uint8_t(colour >> 24)};
    writedata(rgba, sizeof rgba);
    if (++png.x == png.width) {
        png.x = 0;
        if (++png.y == png.height)
            return finish();
    }
    return png.failed ? 0 : 1;
}

char *fileextension(char *name)
{
    size_t n = std::strlen(name);
    for (size_t i = n; i-- > 1;)
        if (name[i] == '.')
            return name + i;
    return name;
}

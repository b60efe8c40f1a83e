// Streaming PNG writer: 8-bit RGBA, stored deflate blocks (one per row), its
// own CRC-32 and Adler-32, no compression library.
//
// A writer is a record of the caller's (one per image being written at
// once). pngbegin opens an image for a file, pngbeginmemory one kept in
// memory; pngpixel is then called exactly width * height times in row order
// and finishes the image after the last pixel. The size of the image is known
// from the start, so the IDAT length goes out with the first bytes and the
// bytes stream to their sink without a seek. A file goes through the safe
// writer: the target is replaced only when the image is complete, so a
// failed export never leaves a partial file.
#pragma once
#include <cstddef>
#include <cstdint>

#include "safefile.h"

constexpr int pngmaxwidth = 16383;      // a row's stored block length must fit in 16 bits

enum pngsink { pngsinknone = 0, pngsinkfile, pngsinkmemory };

// A new writer holds no image; it may be used for one image after another.
struct pngwriter {
    pngsink sink = pngsinknone;     // where the open image goes; none when no image is open
    int width, height;
    int x, y;                       // next pixel
    uint32_t crc;                   // running CRC-32 of the IDAT chunk
    uint32_t adler;                 // running Adler-32 of the zlib data
    uint32_t crctable[256];
    uint64_t size;                  // bytes of the whole image, known at the start
    uint64_t length;                // bytes written so far
    bool failed = false;            // a write has failed; the image will be discarded
    safefile file;                  // the file sink
    uint8_t *memory = nullptr;      // the memory sink: room for the whole image
    bool memoryready = false;       // memory holds a finished image not yet taken
    char message[safemessagesize] = "";  // why the last image failed, "" when it did not
};

// Opens name for a width x height image and writes everything up to the
// first row. Returns 1, or 0 with w.message set (bad size, name too long,
// the target is not a regular file, file cannot be created).
int pngbegin(pngwriter &w, const char *name, int width, int height);

// The same with the image kept in memory; after the last pixel its bytes
// are taken with pngtakememory. 0 with w.message for a bad size or when
// the memory cannot be had.
int pngbeginmemory(pngwriter &w, int width, int height);

// Appends one pixel 0xAARRGGBB (written R, G, B, A). Returns 0 when no image
// is open or a write has failed; after the last pixel the image is
// completed (the file renamed into place) and 0 means it could not be
// (nothing is left behind).
int pngpixel(pngwriter &w, uint32_t colour);

// Gives up an unfinished image and removes its temporary file or memory.
void pngabort(pngwriter &w);

// The finished image of pngbeginmemory: its bytes, which the caller frees
// with std::free, and their count in *size. Null when there is none.
uint8_t *pngtakememory(pngwriter &w, size_t *size);

// The position of the last "." in name, searching back from the end without
// testing the first character; the start of name when there is none.
char *fileextension(char *name);

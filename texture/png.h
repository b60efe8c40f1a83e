// Streaming PNG writer: 8-bit RGBA, stored deflate blocks (one per row), its
// own CRC-32 and Adler-32, no compression library.
//
// pngbegin opens the image; pngpixel is then called exactly width * height
// times in row order and finishes the file after the last pixel. The image
// is written to a temporary file beside the target and renamed over it only
// when complete, so a failed export never leaves a partial file.
#pragma once
#include <cstdint>
#include <cstdio>

constexpr int pngmaxwidth = 16383;      // a row's stored block length must fit in 16 bits
constexpr int pngpathmax = 260;         // longest file name

struct pngwriter {
    FILE *file;                    // the temporary file, null when no image is open
    int width, height;
    int x, y;                      // next pixel
    uint32_t crc;                  // running CRC-32 of the IDAT chunk
    uint32_t adler;                // running Adler-32 of the zlib data
    uint32_t crctable[256];
    bool failed;                   // a write has failed; the image will be discarded
    char path[pngpathmax];         // the target name
    char temppath[pngpathmax + 8]; // the temporary file beside it
    char message[pngpathmax + 100];// why the last image failed, "" when it did not
};

extern pngwriter png;

// Opens name for a width x height image and writes everything up to the
// first row. Returns 1, or 0 with png.message set (bad size, name too long,
// file cannot be created).
int pngbegin(const char *name, int width, int height);

// Appends one pixel 0xAARRGGBB (written R, G, B, A). Returns 0 when no image
// is open or a write has failed; after the last pixel the file is closed and
// renamed, and 0 means it could not be completed (nothing is left behind).
int pngpixel(uint32_t colour);

// Gives up an unfinished image and removes its temporary file.
void pngabort();

// The position of the last "." in name, searching back from the end without
// testing the first character; the start of name when there is none.
char *fileextension(char *name);

// The voxel map file "mundra.gmv": reading, decoding and checking.
//
// File: a 108-byte little-endian header (magic, size x, size y, start
// position, right, down and forward vectors as doubles), then size x * size y
// columns row by row (y outer, x inner). A column is a list of spans:
//   byte 0  span length in 4-byte words, header included; 0 = last span
//   byte 1  top start   z of the first voxel of the top colour run
//   byte 2  top end     z of its last voxel (top start - 1: no top run)
//   byte 3  air start   first air z of the gap above this span (0 in the first)
//   then the top run's colour words, then the span's bottom colours, which
//   sit directly above the next span's air start.
// z runs 0..255 downward; below the last span's top run everything is solid.
//
// Nothing here trusts the file: every read is bounds-checked and the first
// inconsistency is reported with its byte offset and column.
//
// The layout constants and the size limits are in mapformat.h, shared with
// the generator's writer. A file is read only when it is a regular file, and
// never beyond the longest valid map of the size its header gives.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mapformat.h"

// Voxel states after decoding a column.
enum : uint8_t {
    voxelair = 0,
    voxelhidden = 1,     // solid, no colour stored
    voxelcoloured = 2,   // solid and visible, colour word stored
};

// One decoded column.
struct mapcolumn {
    uint8_t state[mapheight];
    uint32_t colour[mapheight];   // colour word (0x80RRGGBB) of coloured voxels, 0 elsewhere
    int spans;                    // spans in the column
    int colours;                  // coloured voxels
};

// Fault kinds, first to last as a reader meets them.
enum mapfaultkind {
    mapok = 0,
    mapfaultfile,        // cannot open or read the file
    mapfaultheader,      // file shorter than the header
    mapfaultmagic,       // wrong magic number
    mapfaultsize,        // size x or size y is 0 or too large, or too many columns
    mapfaultstart,       // start position not finite
    mapfaultframe,       // right/down/forward not an orthonormal frame with forward = right x down
    mapfaultlength,      // longer than any valid map of its size (nothing past that is read)
    mapfaulttruncated,   // a span header or its colours run past the end of the data
    mapfaultspan,        // span length shorter than its own header and top run
    mapfaultz,           // a z bound out of range or out of order
    mapfaultuncoloured,  // the topmost solid voxel of a column carries no colour
    mapfaulttrailing,    // bytes after the last column
};

struct mapfault {
    mapfaultkind kind;
    uint64_t offset;   // byte offset of the faulty field (in the file, or in the column for decodecolumn)
    long x, y;         // the column, -1 -1 for faults outside the columns
    char text[200];    // message without the offset and column, e.g. "span length 3 is shorter than ..."
};

struct mapheader {
    uint32_t magic;
    uint32_t sizex, sizey;
    double start[3];
    double right[3], down[3], forward[3];
};

// A whole map in memory: its bytes and where each column begins.
struct mapfile {
    mapheader header;
    std::vector<uint8_t> bytes;      // the whole file
    std::vector<uint64_t> offsets;   // sizex * sizey + 1 entries: column i at offsets[i], the end last
};

// Decodes one column from bytes[0 .. size). Returns the bytes the column
// occupies, or -1 with *fault filled (offset relative to bytes, x = y = -1).
// col may be null to check only.
long decodecolumn(const uint8_t *bytes, size_t size, mapcolumn *col, mapfault *fault);

// Reads the header fields from the first 108 bytes and checks them.
bool readmapheader(const uint8_t *bytes, size_t size, mapheader *header, mapfault *fault);

// Checks a whole file image: header, every column, no trailing bytes, and
// fills map->offsets. map->bytes must already hold the file. On failure the
// first fault is in *fault (offset absolute, x and y the column).
bool checkmap(mapfile *map, mapfault *fault);

// Reads the file and checks it as checkmap does. Only a regular file is
// read (a FIFO or device is refused at once), and reading stops at
// mapmaxbytes of the columns its header declares.
bool loadmap(const char *path, mapfile *map, mapfault *fault);

// After a successful checkmap/loadmap: the bytes of column (x, y).
const uint8_t *columnbytes(const mapfile &map, uint32_t x, uint32_t y, size_t *size);

// After a successful checkmap/loadmap: decodes column (x, y).
void decodemapcolumn(const mapfile &map, uint32_t x, uint32_t y, mapcolumn *col);

// "offset 1234, column (5, 0): span length 3 is shorter than ..." into out.
void formatfault(const mapfault &fault, char *out, size_t outsize);

// Quick queries on a column that checkmap/decodecolumn has accepted.

// The state of voxel z (voxelair, voxelhidden or voxelcoloured) and, when
// coloured, its colour word in *colour.
int columnvoxel(const uint8_t *bytes, size_t size, int z, uint32_t *colour);

// Bit z of solid[z / 64] is set when voxel z is solid (hidden or coloured).
void columnsolid(const uint8_t *bytes, size_t size, uint64_t solid[4]);

// The z of the topmost solid voxel (the first span's top start).
int columntop(const uint8_t *bytes);

// The colour words of the coloured voxels, top to bottom, into colours (room
// for mapheight); bit z of coloured[z / 64] set for each. Returns their count.
// (A column stores its colour words in z order.)
int columncolours(const uint8_t *bytes, size_t size, uint64_t coloured[4], uint32_t *colours);

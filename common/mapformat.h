// The voxel map file "mundra.gmv", as the generator writes it and the
// reader checks it. All fields little-endian.
//
// Header, 108 bytes:
//   0   u32        magic 0x09072000
//   4   u32        size x (columns across)
//   8   u32        size y
//   12  3 x f64    start position x, y, z
//   36  3 x f64    right vector
//   60  3 x f64    down vector
//   84  3 x f64    forward vector
// then size x * size y columns, y outer, x inner. A column is a list of
// spans: 4 header bytes (length in words, top start, top end, air start) and
// that many colour words; length 0 marks the last span.
#pragma once
#include <cstdint>

constexpr uint32_t mapmagic = 0x09072000u;
constexpr int mapheaderbytes = 108;
constexpr int mapfieldsizex = 4;
constexpr int mapfieldsizey = 8;
constexpr int mapfieldstart = 12;
constexpr int mapfieldright = 36;
constexpr int mapfielddown = 60;
constexpr int mapfieldforward = 84;

constexpr int mapside = 1024;          // the generator's size x and size y
constexpr int mapheight = 256;         // z 0..255, not stored
constexpr int spanheaderbytes = 4;
constexpr int spanmaxwords = 255;      // the length byte, header included

// The largest column: every span begins lower than the one above it, so a
// column has at most 256 spans, and every voxel carries at most one colour,
// so at most 256 colour words: 256 * 4 + 256 * 4 bytes.
constexpr int mapmaxcolumnbytes = mapheight * spanheaderbytes + mapheight * 4;

// Readers take at most the generator's number of columns (in any shape up to
// 65536 on a side), so no valid map is longer than
// 108 + 1024 * 1024 * 2048 = 2147483756 bytes.
constexpr uint32_t mapmaxside = 65536;
constexpr uint64_t mapmaxcolumns = uint64_t(mapside) * mapside;

// The longest valid file of a map with this many columns.
constexpr uint64_t mapmaxbytes(uint64_t columns)
{
    return mapheaderbytes + columns * mapmaxcolumnbytes;
}

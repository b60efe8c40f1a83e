// A tile's texture atlas: every merged quad gets a rectangle of texels, one
// texel per face, packed on shelves; the atlas goes out as an 8-bit RGBA PNG
// (zlib-compressed: most of a cave's texels repeat their neighbours).
//
// A quad of runs x rows faces takes runs x rows texels; texel (a, b) of its
// rectangle holds the colour of face (run + a, row + b). Texels outside every
// rectangle are transparent black and never sampled.
#pragma once
#include <cstdint>
#include <vector>

#include "surface.h"

constexpr int atlasmaxside = 16384;   // the most any texture may have on a side here

struct atlasplace {
    uint16_t x, y;   // top-left texel of the quad's rectangle
};

struct tileatlas {
    int width, height;                 // powers of two
    std::vector<atlasplace> places;    // per quad of the surface
};

// Packs the quads' rectangles. False when they would not fit in
// atlasmaxside x atlasmaxside (no tile of a map comes near it).
bool packatlas(const tilesurface &s, tileatlas *a);

// The atlas as a PNG file's bytes. False when zlib fails (out of memory).
bool encodeatlas(const tilesurface &s, const tileatlas &a, std::vector<uint8_t> *png);

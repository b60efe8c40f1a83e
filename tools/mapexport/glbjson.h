// The layout of a .glb: the tiles' bytes as the writer builds them, and the
// JSON chunk that tells a reader where everything is.
//
// Per tile with any face, in the binary chunk and in the JSON's arrays:
//   bufferViews  vertices (with byteStride), indices, the atlas PNG
//   accessors    per primitive: POSITION, TEXCOORD_0, indices
//   one mesh, node, material, texture and image
// One sampler (nearest, clamped) serves every texture.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "mapexport.h"
#include "surface.h"

// Quads of one primitive: 4 vertices each, so the largest index stays
// below 65535, the restart value of 16-bit indices.
constexpr uint32_t primitivemaxquads = 16383;

struct glbprimitive {
    uint32_t first, count;   // quads of the tile
    float min[3], max[3];    // of its positions, as stored
};

struct glbtile {
    tileplace place;
    uint32_t quads = 0;
    uint64_t faces[facedirections] = {0};
    int atlaswidth = 0, atlasheight = 0;
    std::vector<glbprimitive> primitives;
    std::vector<uint8_t> vertices, indices, png;
};

// Bytes of one vertex: 16 with float positions, 12 quantized.
inline size_t glbvertexbytes(const exportoptions &o)
{
    return o.quantize ? 12 : 16;
}

// Zero bytes after a piece of this size, up to a multiple of 4.
inline size_t glbpadding(uint64_t size)
{
    return size_t(-size & 3);
}

// The JSON chunk (padded with spaces to a multiple of 4) for the tiles as
// they will follow in the binary chunk; *binbytes: that chunk's length.
std::string glbjson(const std::vector<glbtile> &tiles, const exportoptions &o, uint64_t *binbytes);

// The glTF 2.0 binary (.glb) writer.
//
// The map's surface (surface.h), a node and a mesh per tile of 64 x 64
// columns, each mesh in primitives of at most 16383 quads so that 16-bit
// indices never reach the restart value 65535. Each tile has a material with
// a base-colour texture atlas of its own (atlas.h): sRGB, nearest filtering,
// one texel per face, so a viewer shows every voxel's exact 8-bit colour.
// No normals are stored: viewers compute flat ones. Every face is wound
// counter-clockwise seen from the air.
//
// A vertex is 16 bytes: the position as three floats (glTF axes, times the
// scale) and the texture coordinates as normalized unsigned shorts. With
// --quantize it is 12: the position as unsigned shorts relative to the
// tile's node, which carries the translation and the scale
// (KHR_mesh_quantization, required by the file). Texture coordinates are
// rounded toward the inside of the quad's rectangle, so no texel of a
// neighbouring rectangle is ever sampled.
//
// Binary chunk, tile after tile: vertices, indices, the atlas PNG, each
// beginning on a multiple of 4 bytes.
#pragma once
#include <cstddef>

#include "mapexport.h"

bool writeglb(const mapfile &map, const exportoptions &options, const char *path, char *why, size_t whysize);

// mapexport: a voxel map in the formats other tools open (glTF binary, .vox).
//
// Axes, the same for every format: one voxel is one unit. In the map x runs
// right, y runs backward (forward is -y) and z runs down (z = 0 is the top).
//   glTF (+Y up, right-handed): (X, Y, Z) = (x, 256 - z, y) for the cell [x, x+1] x ...
//   .vox (+Z up):               (X, Y, Z) = (x, 1023 - y, 255 - z) before the split into models
// A region is exported as if it were the whole map: voxels keep their map
// coordinates, and sides on the region's boundary are not faces.
#pragma once
#include <cstddef>
#include <cstdint>

#include "mapfile.h"

// An inclusive rectangle of columns.
struct exportregion {
    uint32_t x0, y0, x1, y1;
};

struct exportoptions {
    exportregion region;     // the whole map unless --region
    double scale = 1;        // glTF: metres per voxel (--scale)
    bool solid = false;      // .vox: also the hidden solid voxels (--solid)
    bool quantize = false;   // glTF: 16-bit integer positions, KHR_mesh_quantization (--quantize)
    bool unlit = false;      // glTF: materials marked KHR_materials_unlit (--unlit)
    bool progress = false;   // progress lines on stderr (only when it is a terminal)
    int threads = 0;         // 0: every hardware thread
};

// A format writer builds the whole file and writes it through common/safefile.
// Returns true, or false with the reason in why ("cannot write PATH: reason").
// It may print a short summary of what it wrote on stdout.
typedef bool (*exportwriter)(const mapfile &map, const exportoptions &options, const char *path, char *why,
                             size_t whysize);

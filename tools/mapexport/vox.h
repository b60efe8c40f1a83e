// The MagicaVoxel .vox writer of mapexport.
//
// File (little-endian, chunks of id, content bytes, children bytes):
//   "VOX " 150, then MAIN holding
//     per model      SIZE (x, y, z) and XYZI (count, then x, y, z, colour index per voxel)
//     scene graph    nTRN 0 -> nGRP 1 -> per model i: nTRN 2 + 2i (its _t) -> nSHP 3 + 2i (model i)
//     LAYR 0         the layer of the models
//     RGBA           256 colours: entry e is colour index e + 1 (the last is unused)
// A model holds at most 256 x 256 x 256 voxels: the region is cut into
// tiles of 256 x 256 columns from its corner (the whole map: 4 x 4 models),
// each a model as wide as its tile and 256 high. A reader places a model's
// centre, its size halved and rounded down on each axis, at its node's
// translation, so a tile whose corner voxel goes to (X0, Y0, 0) gets
// _t = (X0 + sx / 2, Y0 + sy / 2, 128), and every voxel sits at
// (X, Y, Z) = (x, 1023 - y, 255 - z) as mapexport.h gives the axes.
//
// By default the coloured voxels only; with solid also the hidden solid
// voxels, each with the colour of the nearest coloured voxel above it in its
// column. Colours go through the palette of palette.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "mapexport.h"
#include "palette.h"

constexpr int voxmodelside = 256;
constexpr uint64_t voxwarnvoxels = 100000000;   // more than this: a warning on stderr

// What a written file holds, and how well its palette keeps the colours.
struct voxsummary {
    int models;
    uint64_t voxels;
    uint64_t bytes;
    uint64_t distinct;         // distinct colours among the voxels
    int colours;               // palette entries
    palettefigures figures;
};

// Writes the file through common/safefile; true, or false with the reason in
// why (a bad region, "cannot write PATH: reason") and no file left.
bool exportvox(const mapfile &map, const exportoptions &options, const char *path, voxsummary *summary, char *why,
               size_t whysize);

// exportvox, then the summary on stdout: the exportwriter of the ".vox" format.
bool writevox(const mapfile &map, const exportoptions &options, const char *path, char *why, size_t whysize);

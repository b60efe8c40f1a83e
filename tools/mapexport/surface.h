// The surface of a voxel map, one tile of columns at a time: a face for every
// side where a solid voxel meets air inside the region, coplanar neighbouring
// faces merged into rectangles (greedy meshing by shape alone), and the
// colour of every face kept for the texture atlas.
//
// A side on the region's boundary (the map's sides, its top and bottom, and
// the edges of --region) is not a face. A face takes the colour of its solid
// voxel; a solid voxel without a stored colour (a map may leave one on the
// side of a cave wall uncoloured) takes that of the nearest coloured voxel
// above it in its column.
#pragma once
#include <cstdint>
#include <vector>

#include "mapexport.h"
#include "mapfile.h"

constexpr int tileside = 64;   // columns on a side of a tile

// The six directions a face can look in, in map axes (z runs down, so
// facezneg looks up).
enum : uint8_t { facexneg, facexpos, faceyneg, faceypos, facezneg, facezpos, facedirections };

// A tile: its first column and its extent (1..tileside each way).
struct tileplace {
    uint32_t x0, y0;
    int nx, ny;
};

// A rectangle of faces in one plane, in coordinates local to the tile.
//   x faces: plane = local x, rows along y, runs along z
//   y faces: plane = local y, rows along x, runs along z
//   z faces: plane = z,       rows along y, runs along x
struct surfacequad {
    uint8_t dir;
    uint8_t row;       // first row
    uint8_t plane;
    uint8_t rows;      // 1..64
    uint16_t run;      // first position along the run axis
    uint16_t runs;     // 1..256
    uint32_t texels;   // where its rows * runs colours begin in tilesurface.texels
};

struct tilesurface {
    std::vector<surfacequad> quads;
    std::vector<uint32_t> texels;        // 0xRRGGBB per face: quad by quad, row by row
    uint64_t faces[facedirections];      // faces looking each way
};

// The tiles of a region, row by row, each tileside x tileside columns
// aligned to the map's multiples of tileside and cut by the region.
std::vector<tileplace> regiontiles(const exportregion &region);

// The surface of one tile of a map that checkmap has accepted.
void buildsurface(const mapfile &map, const exportregion &region, const tileplace &tile, tilesurface *out);

// The corners of a quad in map coordinates (x, y, z of the voxel grid's
// lines), in the order (run, row), (run + runs, row), (run + runs, row + rows),
// (run, row + rows).
void quadcorners(const tileplace &tile, const surfacequad &q, int corners[4][3]);

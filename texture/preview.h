// The designer's preview: a 256 x 256 top view of the solid region of the
// designer's feature points, coloured with the texture and lit by a movable
// light. Three stages that can be rerun separately:
//   rebuild  both point grids, the cell classes and the height map
//   relight  the shade map from the heights and the light angle
//   colour   the preview image from the texture and the shade map
// The texture is the designer's record and compiled expression (texscripts),
// the points are the designer's point set (designpoints).
#pragma once
#include "evaluate.h"
#include "pointgrid.h"

#include <cstdint>

constexpr int previewside = 256;
constexpr int previewsize = previewside * previewside;
constexpr int previewcell = 8;                                  // side of a finest grid cell
constexpr int previewcells = previewside / previewcell;         // 32 cells per axis
constexpr int previewcellcount = previewcells * previewcells * previewcells;

struct previewstate {
    pointgrid *nearestgrid;                 // mode 2: the single nearest point, for the heights
    pointgrid *fourgrid;                    // mode 1: the four nearest points, for the colours
    uint8_t cellclass[previewcellcount];    // classes of the nearest grid's cells
    int height[previewsize];                // z of the top solid voxel of column (x, y), 0 if none
    float shade[previewsize];               // lighting factor per pixel
    uint32_t image[previewsize];            // 0x00RRGGBB, 0 where no feature point was in reach
    int lighting;                           // 1 = the colours are multiplied by the shade
};

extern previewstate preview;

// Free the grids and clear every map; the lighting flag goes back on.
void resetpreview();

// rebuild != 0: all three stages; relight != 0: lighting and colours;
// both 0: colours only. Returns 0 when the grids could not be built (out of
// memory); the image is then black and the next rebuild tries again.
int renderpreview(int rebuild, int relight);

// The stages one by one.
int rebuildpreview();                   // grids, cell classes, height map
void lightpreview(float lightangle);    // shade map
void colourpreview();                   // channel weights derived, then the image

// Threads of the colour stage: 0 (the start) as many as the machine has, at
// most 4; 1 keeps it on the calling thread. The image is the same for any
// number; an expression that draws random numbers always runs on one thread.
void setcolourthreads(int n);
// The threads that number gives now.
int colourthreadcount();

// ---- the stages' steps, which a surface of any size (surface.h) shares -----

// Top solid voxel of column (x, y) of a nearest grid of 8-voxel cells and
// its cell classes: down from the top cell, skipping air-only and empty
// cells, stopping in a solid-only cell, voxel by voxel in mixed cells; 0
// when no voxel of the column is solid.
int columnheight(const pointgrid &g, const uint8_t *cellclass, pointsource points, const int *airflags, int x, int y);

// The light's factors for an angle: 0.3 cos and 0.3 sin, in single precision.
struct lightfactors {
    float lx, ly;
};
lightfactors lightof(float lightangle);

// Lighting factor of the centre of a 5 x 5 window of heights h[row][column]
// (the top-left first): the relief of each height against the centre's,
// the slopes along the rows and the columns, and the light.
float windowshade(const int h[5][5], lightfactors l);

// Colour of the surface voxel (vx, vy, vz) whose four nearest points are n,
// the nearest weighing w: the texture's sample (its compiled expression, or
// the fallback formula when it has none), times `shade` when `lighting`,
// packed; 0 when no point was in reach.
uint32_t surfacecolour(const nearestfour &n, float w, int vx, int vy, int vz, float shade, int lighting);

// Air flag of the single nearest point of voxel (x, y, z) among the list of
// its 8-voxel cell in a nearest grid; 0 when the list is empty or the voxel
// lies outside the grid.
int nearestair(const pointgrid &g, pointsource points, const int *airflags, int x, int y, int z);

// The test surface at any size: the designer's preview grown to a side of
// 64 to 4096 columns (a multiple of 32), for textures that games tile.
//
// A surface of side N has the preview's character: the same 8-voxel cells,
// the same heights (0..255), the same light, and the same density of
// feature points, 2 (N / 32)^2 base points over the N x N area (the
// preview's 128 for 256). Around the area lie eight neighbour blocks of as
// many points each, shifted by (+N, +N), (+N, 0), (+N, -N), (0, +N),
// (0, -N), (-N, +N), (-N, 0), (-N, -N) in this order, as the preview's
// copies are:
//
//   tiled     the neighbours are copies of the base points, so the points
//             and their distances repeat every N (nearest-point queries on
//             a torus of side N). The noise repeats every 32, which divides
//             N, and the lighting's window reads the heights across the
//             edges as they continue, so the image's opposite edges meet.
//   untiled   the neighbours hold points of their own: the area is a window
//             onto a field that does not repeat, and its edges do not meet.
//
// The preview has always had copies: it is the tiled surface of side 256,
// and side 256 is tiled whether asked or not (its image is the preview's,
// byte for byte).
//
// Where the points come from. Every point takes three library random
// numbers r, in the order x, y, z, as the designer's start-up draws them:
// x = r N / 32768 and y likewise over the area, z = r 256 / 32768. The
// draws come from a state of the surface's own, started as the program
// starts (1): the first 128 points take the designer's own 384 start-up
// draws, and the points after them take the draws that follow the noise
// table's 37448. The base points come first, then (untiled) the eight
// neighbour blocks in the order above. So a surface never depends on what
// the program drew before, and side 256 has the preview's points.
//
// An expression that uses vx or vy itself repeats only if it has a period
// that divides N; fn and d1..d3 always do on a tiled surface.
#pragma once
#include "evaluate.h"
#include "pointgrid.h"

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int surfaceminside = 64;
constexpr int surfacemaxside = 4096;
constexpr int surfacesidestep = 32;

constexpr int surfacebucketside = 256;

struct surfaceoptions {
    int side = 256;
    bool tile = false;
};

// A side from the list above.
bool surfacesideok(int side);
// Whether the neighbours are copies: tiled, or side 256.
bool surfacewraps(const surfaceoptions &o);

// The feature points of a surface: the base block, then the eight neighbour
// blocks, basecount points each.
struct surfacepoints {
    int side;
    bool wraps;
    int basecount;                      // 2 (side / 32)^2
    std::vector<featurepoint> points;   // 9 * basecount
    std::vector<int> air;               // 1 = air point (z above 128), else solid
    float minweight;                    // of any point

    // The points by square of surfacebucketside columns, for finding a
    // block's neighbourhood: square (i, j) starts at x = bucketorigin + i
    // surfacebucketside, y = bucketorigin + j surfacebucketside, and lists
    // its points in index order at bucketentries[bucketstarts[j * buckets + i] ...].
    int bucketorigin, buckets;
    std::vector<int> bucketstarts, bucketentries;
};

// Draws the points as above; air points weigh 1, solid points solidweight.
// Throws std::bad_alloc when memory runs out.
void makesurfacepoints(surfacepoints &s, const surfaceoptions &o, float solidweight);

// A block of columns: a point grid of 8-voxel cells over a box of the
// surface, built from the points that can matter there (boxcandidates),
// moved so that the box starts at 0. Whole numbers move exactly, so every
// distance is the one the whole set of points gives.
struct surfaceblock {
    int x0, y0;                         // where the box starts on the surface
    std::vector<featurepoint> points;   // the candidates, moved by (-x0, -y0)
    std::vector<int> air;
    pointgrid *grid = nullptr;
    std::vector<uint8_t> cellclass;     // nearest grids: the cells' classes
};

// A grid of `mode` (gridnearest, gridfournearest) over the box [x0, x0 + w)
// x [y0, y0 + h) x [0, 256), w and h 256 or more. Returns false when memory
// ran out (the block then holds no grid).
bool buildblock(surfaceblock &b, const surfacepoints &s, int mode, int x0, int y0, int w, int h);
void freeblock(surfaceblock &b);

// Queries at a voxel of the block's box, in surface coordinates.
nearestfour blockfour(const surfaceblock &b, int x, int y, int z);
int blockheight(const surfaceblock &b, int x, int y);

// Where the finished pixels go: `take` gets the next `count` pixels of the
// image (0x00RRGGBB, row by row, the rows from the top), and returns false
// to stop the render.
struct surfacesink {
    bool (*take)(void *context, const uint32_t *pixels, int count);
    void *context;
};

// A render in steps, for a caller that shows how far it is (the designer's
// export): surfacebegin, then surfacestep until it returns 0 (done) or -1
// (failed); surfaceend ends one early. The steps read the designer's
// texture as it is then: it must not change in between.
struct surfacework;
struct surfacejob {
    surfacework *work = nullptr;        // null: none under way
    int steps = 0, done = 0;            // steps in all, and done so far
    char why[128] = "";                 // why the last step failed; "" when the sink stopped
};

// Returns 1, or 0 with j.why (out of memory).
int surfacebegin(surfacejob &j, const surfaceoptions &o);
// One step (a row of blocks: the first half their heights, the second
// their colours, whose rows go to the sink). 1 more to do, 0 finished, -1
// failed; after 0 and -1 the job is ended.
int surfacestep(surfacejob &j, surfacesink sink);
void surfaceend(surfacejob &j);

// Renders the surface of the designer's texture (texscripts: the record and
// its compiled expression, or the fallback formula), its light angle and
// the preview's lighting flag, as the preview does, in one call. The noise
// table must be built. An expression that draws random numbers is evaluated pixel by
// pixel in row order on this thread; otherwise the work is shared among
// colourthreadcount() threads, with the same pixels. Returns 1; 0 with the
// reason in `why` when memory ran out, or with `why` empty when the sink
// stopped.
int rendersurface(const surfaceoptions &o, surfacesink sink, char *why, size_t whysize);

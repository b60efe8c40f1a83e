// The cave generator: one run-wide state record and the stages of a run.
//
//   placerocks      rock cloud of one of sixteen cave kinds, air/solid by region
//   gridstage       materials, weights, two point grids, cell classes, texscale
//   buildcolumn     air and solid codes of one map column
//   voxelcolour     colour word of one visible solid voxel
//   writemap        the voxel map file, row by row
//   runvrastik      the whole run from the command line
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>

#include "pointgrid.h"
#include "safefile.h"
#include "texscript.h"

constexpr int maxrocks = 32768;
constexpr int maxtextures = 256;
constexpr int regioncentres = 128;
constexpr int mapsize = 1024;     // x and y
constexpr int mapdepth = 256;    // z, growing downward
constexpr int32_t aircode = -1;
constexpr int32_t solidcode = -2;

// x, y, z and weight come first: the point grid reads them as a feature point.
struct rock {
    float x, y, z, weight;
    int32_t material;   // -1 air, 0 or more solid
};

struct generatorstate {
    int32_t groundposition;
    int32_t rockcount;
    int32_t seed;
    int32_t texturecount;
    rock rocks[maxrocks];
    int rocklist[maxrocks];
    float shapeweights[4];
    int aircount, solidcount;              // rocks, after the first grid step
    pointgrid *grid0;                      // mode 2, cells of 8: air or solid
    pointgrid *grid2;                      // mode 1, cells of 16: four nearest
    uint8_t *cellclass;                    // class of every cell of grid 0
    float texscale;
    textureslot slots[maxtextures];        // the loaded scripts, in command-line order
    int threads;                           // threads of the grids and the map (0 or 1: one)
};

extern generatorstate gen;

// Clear the run state (frees the grids), as at program start.
void resetgenerator();

// The generator random: state * 214013 + 2531011, 15 bits out.
struct genrandomstate {
    uint32_t state;
};
extern genrandomstate genrandom;
void seedrandom(uint32_t value);
int drawrandom();
// A draw from a generator of its own (the bands' dither), and the state
// `draws` draws further on, in O(log draws) steps.
int drawfrom(genrandomstate &r);
void jumprandom(genrandomstate &r, uint64_t draws);

void placerocks(int rockcount, int centres, int32_t seed);
bool gridstage();
void buildcolumn(int x, int y, int32_t *codes);
// The same without the fatal error: false when a mixed cell lists no rock.
bool makecolumn(int x, int y, int32_t *codes);

// Nearest four rocks of a voxel, ascending weighted squared distance.
struct nearestrocks {
    int rock[4];
    float dist[4];
};
void querynearestfour(int x, int y, int z, nearestrocks &q);
// The same without the fatal error: false when the voxel's cell lists no rock.
// Each thread keeps copies of the cells of grid 2 it used last, known by the
// grid stage that built them (gridgeneration, counted by gridstage).
bool nearestrocksof(int x, int y, int z, nearestrocks &q);
extern std::atomic<uint32_t> gridgeneration;

struct blendweights {
    float a[4];
    float inv;
};
// False when no rock may colour the voxel (all four air, above the ground).
bool computeblend(const nearestrocks &q, int z, blendweights &w);

// The colour word of a visible solid voxel, dithered from the generator
// random; a voxel that cannot be coloured ends the run.
uint32_t voxelcolour(int x, int y, int z);
// The same with the dither drawn from `dither`; instead of ending the run it
// returns the fatal message (nullptr when the colour was made).
const char *colourvoxel(int x, int y, int z, genrandomstate &dither, uint32_t &colour);

// Encoded size of one column never exceeds this many bytes.
constexpr int maxcolumnbytes = 4096;
int encodecolumn(const int32_t *codes, const int32_t *const neighbours[4], int x, int y, uint8_t *out);

// The same with the colour of every visible solid voxel asked from `colour`,
// with the byte position in `out` where its word goes.
struct voxelpainter {
    uint32_t (*colour)(void *ctx, int x, int y, int z, int pos);
    void *ctx;
};
int encodecolumnwith(const int32_t *codes, const int32_t *const neighbours[4], int x, int y, uint8_t *out,
                     const voxelpainter &paint);

// Bit z set when voxel z of a column is air: made once per column, read by
// the column and its four neighbours.
struct airbits {
    uint64_t w[4];
};
void columnairbits(const int32_t *codes, airbits &bits);
int encodecolumnbits(const int32_t *codes, const airbits &self, const airbits *const neighbours[4], int x, int y,
                     uint8_t *out, const voxelpainter &paint);
bool writemap(const char *filename, int startx, int starty, int startz);
// Every row of the map in file order, written to f with the progress bar
// after each row: built, encoded and coloured on gen.threads threads in
// bands (1: one row after the other on this thread). False on a write error;
// a fatal error ends the run as it would on one thread.
bool writerows(safefile &f);

int runvrastik(int argc, char **argv);

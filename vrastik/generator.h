// The cave generator: one run-wide state record and the stages of a run.
//
//   placerocks      rock cloud of one of sixteen cave kinds, air/solid by region
//   gridstage       materials, weights, two point grids, cell classes, texscale
//   makecolumn      air and solid codes of one map column
//   colourvoxel     colour word of one visible solid voxel
//   writemap        the voxel map file, row by row
//   runvrastik      the whole run from the command line
//
// A stage that meets a fatal error returns it (false, or the message) to the
// run, which reports it once.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

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
// The codes of column (x, y); false when a mixed cell lists no rock.
bool makecolumn(int x, int y, int32_t *codes);

// Nearest four rocks of a voxel, ascending weighted squared distance.
struct nearestrocks {
    int rock[4];
    float dist[4];
};

// Copies of the cells of grid 2 a thread used last, one per height of cell,
// as arrays of x, y, z and weight padded to whole groups of four with
// far-away rocks that never come near: the voxels of a row are coloured
// column after column, and sixteen columns share a column of cells. Good for
// the grids of one run; a new cache is empty.
struct cachedcell {
    int cell = -1;          // -1: empty
    int count = 0;          // rocks of the cell
    std::vector<float> x, y, z, w;
    std::vector<int> rock;
};
struct cellcache {
    cachedcell cells[16];
};

// Nearest four rocks of voxel (x, y, z), through `cache`; false when the
// voxel's cell lists no rock. Throws std::bad_alloc when the cache cannot grow.
bool nearestrocksof(cellcache &cache, int x, int y, int z, nearestrocks &q);

struct blendweights {
    float a[4];
    float inv;
};
// False when no rock may colour the voxel (all four air, above the ground).
bool computeblend(const nearestrocks &q, int z, blendweights &w);

// The colour word of a visible solid voxel, the built-in colours' dither
// drawn from `dither`; nullptr when it was made, else the fatal message.
// Throws std::bad_alloc as nearestrocksof does.
const char *colourvoxel(cellcache &cache, int x, int y, int z, genrandomstate &dither, uint32_t &colour);

// Encoded size of one column never exceeds this many bytes.
constexpr int maxcolumnbytes = 4096;

// One column encoded into out: its codes, its four neighbours' codes (x - 1,
// x + 1, y - 1, y + 1); the colour of every visible solid voxel is asked from
// `paint`, with the byte position in `out` where its word goes (any other
// code stands for its own colour word). Returns the bytes written.
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

// What writing the map came to: done; the file could not be made, or a
// write failed (`text` is the system's reason); or a fatal error (`text` is
// its message: "no closest point!?\n", "out of memory for the rows of the
// map!\n"). After a fatal error the rows before it are written, as one
// thread going row by row would have written them; after any failure the
// temporary file is gone and the old map kept.
enum writestatus { writeok, writenotstarted, writefailed, writefatal };
struct writeoutcome {
    writestatus status;
    const char *text;
};

// Every row of the map in file order, written to f with the progress bar
// after each row: built, encoded and coloured in bands on gen.threads
// threads (0 or 1: this thread alone), with the same bytes on any number.
writeoutcome writerows(safefile &f);

// The map file: header and rows through a temporary file that replaces
// filename only when complete.
writeoutcome writemap(const char *filename, int startx, int starty, int startz);

// writemap, and what went wrong said once on the console and in the log.
bool makemap(const char *filename, int startx, int starty, int startz);

// What the last writerows used: bands, the pool threads that took one (the
// caller not counted), and the row kits (three rows of column codes, about
// 3 MB each) it made.
struct rowsfigures {
    int bands, threads, kits;
};
extern rowsfigures lastrows;

int runvrastik(int argc, char **argv);

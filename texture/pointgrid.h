// Hierarchical nearest-point grid over weighted feature points.
//
// Each cell lists the points that can be nearest (mode 2) or among the four
// nearest (mode 1) somewhere inside it. Only x, y, z and weight of a point are
// read; the points may be records with further fields after those four.
#pragma once
#include <cstddef>
#include <cstdint>

struct featurepoint {
    float x, y, z, weight;
};

struct pointgrid {
    int cellcount;
    int entrycount;
    int *starts;    // cellcount + 1; cell c lists entries[starts[c]] .. entries[starts[c+1]-1]
    int *entries;   // point indices
    int ny, nz;     // cells along y and z; cell (ix,iy,iz) = (ix*ny + iy)*nz + iz
};

enum gridmode { gridfournearest = 1, gridnearest = 2 };

// Points are read at base + index * stride (bytes), as x, y, z, weight floats.
struct pointsource {
    const unsigned char *base;
    size_t stride;
    const featurepoint &at(int i) const
    {
        return *reinterpret_cast<const featurepoint *>(base + size_t(i) * stride);
    }
};

// Build the grid over [0,sx) x [0,sy) x [0,sz). Returns nullptr if memory ran out.
pointgrid *buildgrid(int mode, int mincell, int sx, int sy, int sz,
                     int pointcount, const int *indexlist, pointsource points);

// The same with each level's cells shared among `threads` threads of the
// pool; `helped`: split the levels into parts even for one thread, since a
// thread waiting for an enclosing job may take some. The lists are the same
// arrays for every thread count.
pointgrid *buildgridon(int threads, int mode, int mincell, int sx, int sy, int sz,
                       int pointcount, const int *indexlist, pointsource points, bool helped = false);

void freegrid(pointgrid *g);

// The candidates of one cell [lo, hi] (per axis x, y, z; mode 2 widens the
// low faces by one unit itself) by the bound test of a level: those of the
// index list that can be nearest (mode 2) or among the four nearest (mode 1)
// somewhere in it, in list order, appended to out (which has room for
// count more). Returns how many, and the bound in *bound: a point left out
// of the index list whose near distance to the cell is at least the bound
// would not have been kept either. A grid built over the box from these
// answers every query in it as one built from the whole list would.
int boxcandidates(int mode, const float lo[3], const float hi[3], int count, const int *indexlist,
                  pointsource points, int *out, float *bound);

// Cell classes: 0 all air, 1 all solid, 2 both, 0xFF empty.
void classifycells(const pointgrid &g, const int *airflags, uint8_t *out);

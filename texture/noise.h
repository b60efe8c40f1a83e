// Lattice noise: five octaves of trilinearly interpolated random lattices
// summed into a 32 x 32 x 32 table that tiles space with period 32.
#pragma once

constexpr int noiseside = 32;
constexpr int noisesize = noiseside * noiseside * noiseside;

// The two programs build the same table with different arithmetic.
enum noiseprecision {
    noisedesigner = 0,    // one cell's interpolation in extended precision
    noisegenerator = 1,   // every intermediate rounded to single precision
};

struct noisestate {
    float table[noisesize];     // [x][y][z], z fastest; values in [-3, 3]
    int lattice[noisesize];     // scratch: random lattice of the current octave
};

extern noisestate noise;

// Library random draws of initnoise: one per lattice point of each octave,
// 2^3 + 4^3 + 8^3 + 16^3 + 32^3.
constexpr int noisedraws = 37448;

// Fill the table, drawing noisedraws numbers from the library random.
void initnoise(noiseprecision precision);

// fn at a whole voxel position; negative coordinates wrap like positive ones.
inline float noiseat(int x, int y, int z)
{
    return noise.table[((x & 31) * noiseside + (y & 31)) * noiseside + (z & 31)];
}

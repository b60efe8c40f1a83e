// Test helpers: a second, independent column encoder and map files built
// from it.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

enum : uint8_t { tair = 0, thidden = 1, tcoloured = 2 };

struct testcolumn {
    uint8_t state[256];
    uint32_t colour[256];
};

// Sets z = from..to (inclusive) to state; coloured voxels get colourof(z).
void setrun(testcolumn *c, int from, int to, uint8_t state);
uint32_t colourof(int z);

// Colours every solid voxel that a viewer could see from the air above or
// below it (and the topmost), as the map file requires.
void makevisible(testcolumn *c);

// A random column with ground at z = 255, random air pockets and colours.
void randomcolumn(std::mt19937 &rng, testcolumn *c);

// Span bytes of a column (at most 254 colours per span; further spans with
// no air gap where needed).
std::vector<uint8_t> encodetest(const testcolumn &c);

// A whole file: header (start position, the generator's frame) and columns.
std::vector<uint8_t> buildmap(uint32_t sizex, uint32_t sizey, const std::vector<testcolumn> &columns,
                              double sx = 0, double sy = 0, double sz = 0);

// Byte offset of column i of a map built by buildmap.
uint64_t columnoffset(const std::vector<testcolumn> &columns, size_t i);

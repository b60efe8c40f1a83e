// The palette of a .vox file: at most 255 colours chosen for the colours a
// map uses, and for each of those colours the entry a voxel takes.
//
// Colours are 8-bit sRGB, 0xRRGGBB. The entries are chosen in CIELAB (D65),
// where the distance between two colours (CIE 1976 delta E) follows what a
// person sees: a weighted k-means over the distinct colours, each weighted by
// the voxels that carry it, seeded by k-means++ from a fixed random sequence.
// Every colour then takes the entry nearest to it in Lab. A map of at most
// 255 distinct colours keeps them exactly.
//
// Same colours and weights, same palette: the work is split into parts that
// depend only on the number of colours, and their sums are added in part
// order, so the thread count changes nothing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int palettemax = 255;   // .vox colour indices 1..255

struct labcolour {
    double l, a, b;
};

labcolour srgbtolab(uint32_t rgb);

// The 8-bit sRGB colour of a Lab colour, each channel rounded and clamped.
uint32_t labtosrgb(const labcolour &c);

// CIE 1976 colour difference: the distance in Lab.
double deltae(const labcolour &p, const labcolour &q);

// The distinct colours of a set of voxels and how many voxels carry each.
// A bit per possible colour says which occur; with the number of set bits
// before each 64-bit word, a colour's rank among the distinct colours takes
// two reads (no hashing, 3 MB in all).
struct colourset {
    std::vector<uint64_t> present;   // 2^24 bits, bit c set when colour c occurs
    std::vector<uint32_t> before;    // per word of present: set bits in the words before it
    std::vector<uint32_t> rgb;       // the distinct colours, ascending (after rankcolours)
    std::vector<uint64_t> weight;    // voxels of each distinct colour
    uint64_t voxels;                 // their sum
};

// An empty set; then markcolour for every colour, rankcolours once, and
// addweight for every voxel or run of voxels.
void startcolourset(colourset *set);
void rankcolours(colourset *set);

inline void markcolour(colourset *set, uint32_t rgb)
{
    set->present[rgb >> 6] |= uint64_t(1) << (rgb & 63);
}

// Set bits of a word, in line (the builtin calls a library function
// unless the build targets processors with a popcount instruction).
inline uint32_t bitcount(uint64_t v)
{
    v = v - (v >> 1 & 0x5555555555555555u);
    v = (v & 0x3333333333333333u) + (v >> 2 & 0x3333333333333333u);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return uint32_t(v * 0x0101010101010101u >> 56);
}

// The rank of a marked colour among the distinct colours.
inline uint32_t colourrank(const colourset &set, uint32_t rgb)
{
    uint64_t below = set.present[rgb >> 6] & ((uint64_t(1) << (rgb & 63)) - 1);
    return set.before[rgb >> 6] + bitcount(below);
}

inline void addweight(colourset *set, uint32_t rgb, uint64_t voxels)
{
    set->weight[colourrank(*set, rgb)] += voxels;
    set->voxels += voxels;
}

struct palette {
    int size;                       // entries used, 1..255 (0 for no colours)
    uint32_t rgb[palettemax];       // entry colours, darkest first
    std::vector<uint8_t> entry;     // per distinct colour (by rank): its entry, 0-based
    std::vector<double> error;      // per distinct colour: delta E to its entry
};

// How well the palette keeps the colours, over the voxels (each distinct
// colour counts as often as voxels carry it).
struct palettefigures {
    double mean;       // mean delta E
    double largest;    // largest delta E
    double p99;        // 99 % of the voxels are within this
    double within5;    // share of the voxels within delta E 5 (0..1)
};

// Chooses the entries for the colours of set and gives every colour its
// entry; up to `threads` threads (the caller included).
void makepalette(const colourset &set, int threads, palette *pal);

void measurepalette(const colourset &set, const palette &pal, palettefigures *figures);

// mapview: pictures and figures of a voxel map file.
#pragma once
#include "mapfile.h"
#include "progress.h"

#include <cstdint>
#include <vector>

// A picture being made: 0xAARRGGBB pixels, rows top to bottom.
struct picture {
    int width, height;
    std::vector<uint32_t> pixels;
};

void makepicture(picture *pic, int width, int height);

// A smaller copy: each pixel the rounded mean, channel by channel, of the
// block of in's pixels it covers (block edges at i * in.width / width, so
// every block holds at least one pixel). width and height at most in's.
void shrinkpicture(const picture &in, int width, int height, picture *out);

// Writes pic as a PNG (through a temporary file); prints why on failure.
bool savepicture(const picture &pic, const char *path);

// Camera for the perspective view.
struct camera {
    double position[3];
    double right[3], down[3], forward[3];
    double fov;   // horizontal field of view in degrees
};

// The camera of the header: start position, right/down/forward.
void headercamera(const mapheader &h, camera *cam);

// Points the camera: yaw in degrees clockwise seen from above from -y (the
// map's north), pitch in degrees upward.
void aimcamera(camera *cam, double yaw, double pitch);

// One solid bit per voxel, 256 bits per column; and per block of 8 x 8 x 8
// voxels one bit saying whether it holds any solid, so rays cross empty
// blocks in one jump.
struct solidtable {
    long size[3];
    long blocksx;                  // blocks across x
    std::vector<uint64_t> bits;    // 4 words per column
    std::vector<uint32_t> blocks;  // per 8 x 8 columns, bit k: z from 8k to 8k + 7
};

void buildsolid(const mapfile &map, solidtable *t);

// What a ray met: a voxel or the map's side, and the axis of the face it
// entered through; or nothing, when it left through the top.
struct rayhit {
    bool hit;
    bool edge;
    long voxel[3];
    int axis;
    double distance;
};

// The first solid voxel on a ray from origin along the unit vector dir.
rayhit castray(const solidtable &t, const double origin[3], const double dir[3]);

// The pictures; each returns false with a message printed.
void drawtop(const mapfile &map, picture *pic);
bool drawslice(const mapfile &map, int axis, long at, picture *pic);
void drawview(const mapfile &map, const camera &cam, picture *pic);

// Figures.
struct mapstats {
    uint64_t columns, spans;
    uint64_t coloured, hidden, air;
};

void countmap(const mapfile &map, mapstats *stats);

// Colours used in the pictures.
constexpr uint32_t airshade = 0xFF101018;
constexpr uint32_t hiddenshade = 0xFF808080;
constexpr uint32_t skyshade = 0xFF000000;

// A colour word as an opaque pixel.
inline uint32_t opaque(uint32_t colourword)
{
    return 0xFF000000u | (colourword & 0xFFFFFFu);
}

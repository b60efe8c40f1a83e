// The export tests' small maps, built by the independent map builder, and
// their way of running mapexport and glbcheck.py.
#pragma once
#include "mapbuild.h"

#include "support/command.h"
#include "support/scratch.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>

#include <cmath>
#include <random>

// Recolours every coloured voxel at random, so each face shows its own voxel.
inline void randomcolours(std::mt19937 &rng, testcolumn *c)
{
    for (int z = 0; z < 256; z++)
        if (c->state[z] == tcoloured)
            c->colour[z] = 0x80000000u | (uint32_t(rng()) & 0xFFFFFF);
}

// Rolling ground with a cave under it and a floating block: steep steps leave
// hidden solid voxels in the open on the sides (they take the colour above).
inline std::vector<uint8_t> terrainmap(uint32_t sizex, uint32_t sizey)
{
    std::mt19937 rng(17);
    std::vector<testcolumn> columns(size_t(sizex) * sizey);
    for (uint32_t y = 0; y < sizey; y++)
        for (uint32_t x = 0; x < sizex; x++) {
            testcolumn &c = columns[size_t(y) * sizex + x];
            int ground = 120 + int(12 * std::sin(x * 0.3) + 9 * std::cos(y * 0.5)) + int(rng() % 3);
            setrun(&c, 0, ground - 1, tair);
            setrun(&c, ground, 255, thidden);
            if ((x / 8 + y / 5) % 3 == 0)
                setrun(&c, ground + 10, ground + 10 + int(rng() % 12), tair);   // the cave
            if (x >= 30 && x < 40 && y >= 4 && y < 9)
                setrun(&c, 60, 70, thidden);   // a floating block
            makevisible(&c);
            randomcolours(rng, &c);
        }
    return buildmap(sizex, sizey, columns);
}

// A slab of isolated voxels (a three-dimensional checkerboard) on solid
// ground: every face its own quad, more than one primitive's 16383 per tile.
inline std::vector<uint8_t> checkermap(uint32_t sizex, uint32_t sizey)
{
    std::mt19937 rng(5);
    std::vector<testcolumn> columns(size_t(sizex) * sizey);
    for (uint32_t y = 0; y < sizey; y++)
        for (uint32_t x = 0; x < sizex; x++) {
            testcolumn &c = columns[size_t(y) * sizex + x];
            setrun(&c, 0, 255, tair);
            for (int z = 1; z <= 6; z++)
                if ((x + y + z) % 2)
                    setrun(&c, z, z, thidden);
            setrun(&c, 8, 255, thidden);
            makevisible(&c);
            randomcolours(rng, &c);
        }
    return buildmap(sizex, sizey, columns);
}

inline std::string shellword(const std::string &s)
{
    return "'" + s + "'";
}

inline std::string run(const std::string &command, int *code)
{
    std::string out;
    *code = runcommand(command + " 2>&1", &out);
    return out;
}

inline std::string writemap(const std::string &name, const std::vector<uint8_t> &bytes)
{
    std::string path = scratchpath(name);
    writebytes(path, bytes);
    return path;
}

// glbcheck.py's "key values..." lines.
inline std::string field(const std::string &report, const std::string &key)
{
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + " ", 0) == 0)
            return line.substr(key.size() + 1);
    return "";
}

// Exports and checks the file against the map; returns glbcheck's report.
inline std::string exportandcheck(const std::string &map, const std::string &glb, const std::string &options,
                           const std::string &checkoptions)
{
    int code;
    std::string out = run(std::string(MAPEXPORT) + " " + shellword(map) + " " + shellword(glb) + " " + options, &code);
    EXPECT_EQ(code, 0) << options << ": " << out;
    EXPECT_EQ(out.find('\r'), std::string::npos) << "progress shown on a pipe: " << out;
    std::string report = run(std::string(PYTHON3) + " " + GLBCHECK + " " + shellword(map) + " " + shellword(glb) + " " +
                                 checkoptions,
                             &code);
    EXPECT_EQ(code, 0) << options << ": " << report;
    return report;
}

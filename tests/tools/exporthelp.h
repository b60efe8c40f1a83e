// The export tests' small maps, and their ways of running mapexport and the
// Python oracles and of reading what those print.
#pragma once
#include "mapbuild.h"

#include "support/command.h"
#include "support/scratch.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

// A map from the independent map builder, coloured at random (each face shows
// its own voxel) or by height (fewer than 255 colours); returns its path.
//   terrain  rolling ground with a cave under it and a floating block: steep steps
//            leave hidden voxels in the open on the sides (they take the colour above)
//   checker  a slab of isolated voxels (a three-dimensional checkerboard) on solid
//            ground: every face its own quad, more than one primitive's 16383 per tile
enum mapkind { terrain, checker };

inline std::string testmap(const std::string &name, mapkind kind, uint32_t sizex, uint32_t sizey, bool random)
{
    std::mt19937 rng(kind == terrain ? 17 : 5);
    std::vector<testcolumn> columns(size_t(sizex) * sizey);
    for (uint32_t y = 0; y < sizey; y++)
        for (uint32_t x = 0; x < sizex; x++) {
            testcolumn &c = columns[size_t(y) * sizex + x];
            setrun(&c, 0, 255, tair);
            if (kind == checker) {
                for (int z = 1; z <= 6; z++)
                    if ((x + y + z) % 2)
                        setrun(&c, z, z, thidden);
                setrun(&c, 8, 255, thidden);
            } else {
                int ground = 120 + int(12 * std::sin(x * 0.3) + 9 * std::cos(y * 0.5)) + int(rng() % 3);
                setrun(&c, ground, 255, thidden);
                if ((x / 8 + y / 5) % 3 == 0)
                    setrun(&c, ground + 10, ground + 10 + int(rng() % 12), tair);   // the cave
                if (x >= 30 && x < 40 && y >= 4 && y < 9)
                    setrun(&c, 60, 70, thidden);   // a floating block
            }
            makevisible(&c);
            for (int z = 0; z < 256 && random; z++)
                if (c.state[z] == tcoloured)
                    c.colour[z] = 0x80000000u | (uint32_t(rng()) & 0xFFFFFF);
        }
    std::string path = scratchpath(name);
    writebytes(path, buildmap(sizex, sizey, columns));
    return path;
}

inline std::string shellword(const std::string &s)
{
    return "'" + s + "'";
}

// A shell command's output and error output; its exit status in *code.
inline std::string run(const std::string &command, int *code)
{
    std::string out;
    *code = runcommand(command + " 2>&1", &out);
    return out;
}

// The first n numbers after key in a report (NaN for those not there).
inline std::vector<double> numbersafter(const std::string &report, const std::string &key, size_t n)
{
    size_t at = report.find(key);
    const char *p = report.c_str() + (at == std::string::npos ? report.size() : at + key.size());
    std::vector<double> v;
    while (*p && v.size() < n) {
        char *end;
        double x = std::strtod(p, &end);
        if (end != p && std::isdigit((unsigned char)end[-1]))
            v.push_back(x), p = end;
        else
            p++;
    }
    v.resize(n, NAN);
    return v;
}

inline std::string mapexport(const std::string &map, const std::string &out, const std::string &options, int *code)
{
    return run(MAPEXPORT " " + shellword(map) + " " + shellword(out) + " " + options, code);
}

// Exports the map and checks the file against it; glbcheck.py's report.
inline std::string exportandcheck(const std::string &map, const std::string &glb, const std::string &options,
                                  const std::string &checkoptions)
{
    int code;
    std::string out = mapexport(map, glb, options, &code);
    EXPECT_EQ(code, 0) << options << ": " << out;
    EXPECT_EQ(out.find('\r'), std::string::npos) << "progress shown on a pipe: " << out;
    std::string report = run(PYTHON3 " " GLBCHECK " " + shellword(map) + " " + shellword(glb) + " " + checkoptions,
                             &code);
    EXPECT_EQ(code, 0) << options << ": " << report;
    return report;
}

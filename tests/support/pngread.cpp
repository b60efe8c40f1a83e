#include "support/pngread.h"
#include "support/command.h"

#include <cstdio>

bool pngreaderavailable()
{
    return *PYTHON3 != 0;
}

bool readpng(const std::string &path, int *width, int *height, std::vector<uint32_t> *pixels)
{
    std::string raw = path + ".rgba", out;
    if (!pngreaderavailable() ||
        runcommand(std::string(PYTHON3) + " " + PNGREAD + " '" + path + "' '" + raw + "'", &out) != 0)
        return false;
    if (std::sscanf(out.c_str(), "%d %d", width, height) != 2)
        return false;
    FILE *f = std::fopen(raw.c_str(), "rb");
    if (!f)
        return false;
    pixels->assign(size_t(*width) * *height, 0);
    bool ok = true;
    unsigned char rgba[4];
    for (uint32_t &p : *pixels) {
        if (std::fread(rgba, 1, 4, f) != 4) {
            ok = false;
            break;
        }
        p = uint32_t(rgba[3]) << 24 | uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
    }
    std::fclose(f);
    std::remove(raw.c_str());
    return ok;
}

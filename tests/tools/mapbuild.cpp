#include "mapbuild.h"

#include <algorithm>
#include <cstring>

void setrun(testcolumn *c, int from, int to, uint8_t state)
{
    for (int z = from; z <= to; z++) {
        c->state[z] = state;
        c->colour[z] = state == tcoloured ? colourof(z) : 0;
    }
}

uint32_t colourof(int z)
{
    return 0x80000000u | uint32_t(z) << 16 | uint32_t(255 - z) << 8 | uint32_t(z * 7 & 255);
}

void makevisible(testcolumn *c)
{
    for (int z = 0; z < 256; z++) {
        if (c->state[z] != thidden)
            continue;
        bool airabove = z == 0 || c->state[z - 1] == tair;
        bool airbelow = z < 255 && c->state[z + 1] == tair;
        if (airabove || airbelow) {
            c->state[z] = tcoloured;
            c->colour[z] = colourof(z);
        }
    }
}

void randomcolumn(std::mt19937 &rng, testcolumn *c)
{
    std::uniform_int_distribution<int> runlength(1, 60), coin(0, 3);
    int z = 0;
    uint8_t state = coin(rng) ? tair : thidden;
    while (z < 256) {
        int to = std::min(255, z + runlength(rng) - 1);
        setrun(c, z, to, state);
        z = to + 1;
        state = state == tair ? thidden : tair;
    }
    if (c->state[255] == tair)
        c->state[255] = thidden;
    // Scatter colours over the solid voxels: single ones and long runs.
    int dense = coin(rng);
    for (int v = 0; v < 256; v++)
        if (c->state[v] == thidden && (dense == 0 || coin(rng) == 0)) {
            c->state[v] = tcoloured;
            c->colour[v] = 0x80000000u | (uint32_t(rng()) & 0xFFFFFF);
        }
    makevisible(c);
}

static void put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out.push_back(uint8_t(v >> 8 * i));
}

static void putspan(std::vector<uint8_t> &out, int length, int topstart, int topend, int airstart,
                    const testcolumn &c, int from, int to, int bottomfrom, int bottomto)
{
    out.push_back(uint8_t(length));
    out.push_back(uint8_t(topstart));
    out.push_back(uint8_t(topend));
    out.push_back(uint8_t(airstart));
    for (int z = from; z <= to; z++)
        put32(out, c.colour[z]);
    for (int z = bottomfrom; z <= bottomto; z++)
        put32(out, c.colour[z]);
}

// Each solid run between air gaps becomes one or more spans. A span's colours
// are the coloured voxels at its top and, if the run does not go on, those at
// its bottom; any other coloured stretch begins a further span.
std::vector<uint8_t> encodetest(const testcolumn &c)
{
    std::vector<std::pair<int, int>> runs;
    for (int z = 0; z < 256;) {
        if (c.state[z] == tair) {
            z++;
            continue;
        }
        int s = z;
        while (z < 256 && c.state[z] != tair)
            z++;
        runs.push_back({s, z - 1});
    }
    std::vector<uint8_t> out;
    for (size_t k = 0; k < runs.size(); k++) {
        int s = runs[k].first, e = runs[k].second;
        bool last = k + 1 == runs.size();
        int seg = s, segair = k == 0 ? 0 : runs[k - 1].second + 1;
        for (;;) {
            int t = seg;
            while (t <= e && c.state[t] == tcoloured && t - seg < 254)
                t++;
            int tops = t - seg, next = t;
            while (next <= e && c.state[next] != tcoloured)
                next++;
            if (next > e) {
                putspan(out, last ? 0 : 1 + tops, seg, t - 1, segair, c, seg, t - 1, 0, -1);
                break;
            }
            int end = next;
            while (end <= e && c.state[end] == tcoloured)
                end++;
            if (!last && end > e && tops + (end - next) <= 254) {
                putspan(out, 1 + tops + (end - next), seg, t - 1, segair, c, seg, t - 1, next, e);
                break;
            }
            putspan(out, 1 + tops, seg, t - 1, segair, c, seg, t - 1, 0, -1);
            seg = next;
            segair = next;
        }
    }
    return out;
}

static void putdouble(std::vector<uint8_t> &out, double d)
{
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    put32(out, uint32_t(bits));
    put32(out, uint32_t(bits >> 32));
}

std::vector<uint8_t> buildmap(uint32_t sizex, uint32_t sizey, const std::vector<testcolumn> &columns, double sx,
                              double sy, double sz)
{
    std::vector<uint8_t> out;
    put32(out, 0x09072000u);
    put32(out, sizex);
    put32(out, sizey);
    const double fields[12] = {sx, sy, sz, 1, 0, 0, 0, 0, 1, 0, -1, 0};
    for (double d : fields)
        putdouble(out, d);
    for (const testcolumn &c : columns) {
        std::vector<uint8_t> bytes = encodetest(c);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

uint64_t columnoffset(const std::vector<testcolumn> &columns, size_t i)
{
    uint64_t at = 108;
    for (size_t k = 0; k < i; k++)
        at += encodetest(columns[k]).size();
    return at;
}

// libFuzzer target: the map reader on any bytes, read from a file as the
// tools read it. Never a crash, a leak or a hang; the file and the same
// bytes in memory get the same verdict; a fault names a kind and an offset
// inside the file; in an accepted map every column decodes and the quick
// queries (voxel, solid bits, top) agree with the decoded column. Built and
// run by scripts/fuzz.sh.
//
// Seeds (seeds/mapfile, made with the tests' second column encoder): good
// maps of 1 x 1, 3 x 2 (a floating block), 2 x 2 (random air pockets and
// colours) and 1 x 2 (a run of 255 colours continued in a second span, a
// column solid from z = 0); and copies of the 3 x 2 map damaged in the
// header (cut, header only, magic, size 0, start NaN, skewed frame) and in
// the columns (span past its column, a column cut, trailing bytes).
#include "mapfile.h"

#include "support/fuzzinput.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

// The quick queries on one accepted column against its full decoding.
static void checkcolumn(const mapfile &map, uint32_t x, uint32_t y)
{
    mapcolumn col;
    decodemapcolumn(map, x, y, &col);
    size_t size;
    const uint8_t *bytes = columnbytes(map, x, y, &size);
    uint64_t solid[4];
    columnsolid(bytes, size, solid);
    int top = -1;
    for (int z = 0; z < mapheight; z++) {
        uint32_t colour = 0;
        int state = columnvoxel(bytes, size, z, &colour);
        bool issolid = solid[z / 64] >> (z % 64) & 1;
        if (state != col.state[z] || issolid != (col.state[z] != voxelair) ||
            (state == voxelcoloured && colour != col.colour[z]))
            __builtin_trap();
        if (top < 0 && issolid)
            top = z;
    }
    if (top < 0 || columntop(bytes) != top || col.state[top] != voxelcoloured)
        __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = fuzzinputfile(data, size);
    mapfile map, inmemory;
    mapfault fault, memfault;
    bool ok = loadmap(path, &map, &fault);
    inmemory.bytes.assign(data, data + size);
    if (checkmap(&inmemory, &memfault) != ok)
        __builtin_trap();
    if (!ok) {
        if (fault.kind == mapok || fault.kind != memfault.kind || fault.offset != memfault.offset ||
            fault.offset > size || !std::memchr(fault.text, 0, sizeof fault.text))
            __builtin_trap();
        char line[400];
        formatfault(fault, line, sizeof line);
        if (!line[0])
            __builtin_trap();
        return 0;
    }
    // Up to 256 columns spread over the map, each checked voxel by voxel.
    uint64_t columns = uint64_t(map.header.sizex) * map.header.sizey;
    uint64_t step = std::max<uint64_t>(1, columns / 256);
    for (uint64_t i = 0; i < columns; i += step)
        checkcolumn(map, uint32_t(i % map.header.sizex), uint32_t(i / map.header.sizex));
    return 0;
}

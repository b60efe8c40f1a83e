// The voxel map file: a 108-byte header, then every column as spans (the
// rows come from bands.cpp, each column from encoder.cpp).
#include <cstdio>

#include "byteorder.h"
#include "generator.h"
#include "mapformat.h"
#include "safefile.h"

namespace {

static_assert(maxcolumnbytes >= mapmaxcolumnbytes, "the span buffer holds the longest column");
static_assert(mapsize == mapside && mapdepth == mapheight, "the map file's size is the generator's");

void makeheader(uint8_t *h, int sx, int sy, int sz)
{
    const double start[3] = {double(sx), double(sy), double(sz)};
    const double frame[9] = {1, 0, 0, 0, 0, 1, 0, -1, 0};   // right, down, forward
    putle32(h, mapmagic);
    putle32(h + mapfieldsizex, mapside);
    putle32(h + mapfieldsizey, mapside);
    for (int i = 0; i < 3; i++)
        putledouble(h + mapfieldstart + 8 * i, start[i]);
    for (int i = 0; i < 9; i++)
        putledouble(h + mapfieldright + 8 * i, frame[i]);
}

// The map goes to a temporary file beside the target that replaces it only
// when complete; a failed run leaves the old map alone and no temporary file
// behind. (The signal handler of the safe writer reads the file's record
// while it is open: it lives here, not on the stack.)
safefile mapfile;

} // namespace

writeoutcome writemap(const char *filename, int startx, int starty, int startz)
{
    if (!safeopen(mapfile, filename))
        return {writenotstarted, mapfile.reason};
    uint8_t header[mapheaderbytes];
    makeheader(header, startx, starty, startz);
    writeoutcome out = {writeok, nullptr};
    if (safewrite(mapfile, header, sizeof header))
        out = writerows(mapfile);
    if (out.status == writefatal) {
        safeabort(mapfile);
        return out;
    }
    // A write that failed is reported by the commit, which removes the file.
    if (!safecommit(mapfile))
        return {writefailed, mapfile.reason};
    return out;
}

// The voxel map file: a 108-byte header, then every column as spans.
#include <cstdio>

#include "byteorder.h"
#include "generator.h"
#include "mapformat.h"
#include "runlog.h"
#include "safefile.h"

namespace {

// Voxel classes in the order the encoder compares them.
enum voxelclass { none = 0, air = 1, exposed = 2, covered = 3 };

struct span {
    int start;      // byte offset of the span header
    int topstart, topend;
};

struct encoder {
    uint8_t *out;
    int pos;
    span cur;
    int colours;    // colour words in the current span

    void open(int z, int airstart)
    {
        cur = {pos, z, z - 1};
        out[pos + 1] = uint8_t(z);
        out[pos + 3] = uint8_t(airstart);
        pos += 4;
        colours = 0;
    }
    void close(int length)
    {
        out[cur.start] = uint8_t(length);
        out[cur.start + 2] = uint8_t(cur.topend);
    }
    void append(uint32_t colour)
    {
        putle32(out + pos, colour);
        pos += 4;
        colours++;
    }
};

// A span length is one byte of 4-byte words, its header included.
const int maxspancolours = spanmaxwords - 1;

// Class of every voxel of the column; index 256 stands for the voxel below
// the map, which is not air.
void classifycolumn(const int32_t *codes, const int32_t *const nb[4], uint8_t *cls)
{
    for (int z = 0; z < mapdepth; z++) {
        bool open = (nb[0][z] == aircode) | (nb[1][z] == aircode) | (nb[2][z] == aircode) |
                    (nb[3][z] == aircode);
        cls[z] = codes[z] == aircode ? air : open ? exposed : covered;
    }
    if (cls[mapdepth - 1] != air)
        cls[mapdepth - 1] = covered;
    cls[mapdepth] = covered;
}

} // namespace

// The column is walked in runs of voxels of one class: classes change, and
// so spans open, only where a run begins. Within a run every exposed voxel is
// visible, and a covered one only next to air above or below.
int encodecolumn(const int32_t *codes, const int32_t *const nb[4], int x, int y, uint8_t *out)
{
    uint8_t cls[mapdepth + 1];
    classifycolumn(codes, nb, cls);
    int top = 0;
    while (top < mapdepth - 1 && cls[top] == air)
        top++;
    encoder e = {out, 0, {}, 0};
    e.open(top, 0);

    auto store = [&](int z) {
        if (e.colours == maxspancolours) {
            // No room left in this span: go on in a further span with no air gap.
            e.close((e.pos - e.cur.start) / 4);
            e.open(z, z);
        }
        if (e.cur.topend == z - 1)
            e.cur.topend = z;
        e.append(codes[z] == solidcode ? voxelcolour(x, y, z) : uint32_t(codes[z]));
    };

    voxelclass last = none, before = none;
    int gap = -1;
    int z = top > 0 ? top - 1 : 0;   // above z = 0 counts as air, like the voxels above top
    if (top == 0)
        last = air;
    while (z < mapdepth) {
        const voxelclass c = voxelclass(cls[z]);
        int end = z;
        while (end + 1 < mapdepth && cls[end + 1] == c)
            end++;
        if (c != last) {
            if (c == air && (last == exposed || last == covered)) {
                gap = z;    // an air gap begins
            } else if (last < c && last < before) {
                // The class rises after having fallen: a new span.
                e.close((e.pos - e.cur.start) / 4);
                e.open(z, gap >= 0 ? gap : z);
                gap = -1;
            }
            before = last;
            last = c;
        }
        if (c == exposed) {
            for (int v = z; v <= end; v++)
                store(v);
        } else if (c == covered) {
            bool airabove = z == 0 || cls[z - 1] == air;
            bool airbelow = cls[end + 1] == air;
            if (airabove)
                store(z);
            if (airbelow && !(airabove && end == z))
                store(end);
        }
        z = end + 1;
    }
    e.close(0);
    return e.pos;
}

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
// when complete; a failed, interrupted or fatally ended run leaves the old
// map alone and no temporary file behind.
struct mapoutput {
    safefile file;
};
mapoutput mapout;

void removetemp()
{
    safeabort(mapout.file);
}

struct rowbuffers {
    int32_t rows[3][mapsize][mapdepth];
    int32_t outside[mapdepth];   // all zero: not the air code, so solid
    uint8_t column[maxcolumnbytes];
};

// Rows stream out as they are built; false once a write has failed.
bool writerows(rowbuffers &b)
{
    int32_t(*previous)[mapdepth] = b.rows[0];
    int32_t(*current)[mapdepth] = b.rows[1];
    int32_t(*next)[mapdepth] = b.rows[2];
    for (int k = 0; k <= mapsize; k++) {
        if (k < mapsize)
            for (int x = 0; x < mapsize; x++)
                buildcolumn(x, k, next[x]);
        if (k >= 1) {
            const int y = k - 1;
            for (int x = 0; x < mapsize; x++) {
                const int32_t *const nb[4] = {
                    x > 0 ? current[x - 1] : b.outside,
                    x < mapsize - 1 ? current[x + 1] : b.outside,
                    y > 0 ? previous[x] : b.outside,
                    y < mapsize - 1 ? next[x] : b.outside,
                };
                int n = encodecolumn(current[x], nb, x, y, b.column);
                if (!safewrite(mapout.file, b.column, size_t(n)))
                    return false;
            }
            printprogress(100 * k / mapsize);
        }
        int32_t(*old)[mapdepth] = previous;
        previous = current;
        current = next;
        next = old;
    }
    return true;
}

} // namespace

bool writemap(const char *filename, int startx, int starty, int startz)
{
    static rowbuffers buffers;   // 3 MB of codes; one map per run
    if (!safeopen(mapout.file, filename)) {
        logmessage("...error writing %s: %s\n", filename, mapout.file.reason);
        return false;
    }
    setfatalcleanup(removetemp);
    uint8_t header[mapheaderbytes];
    makeheader(header, startx, starty, startz);
    if (safewrite(mapout.file, header, sizeof header))
        writerows(buffers);
    bool ok = safecommit(mapout.file);
    setfatalcleanup(nullptr);
    if (!ok) {
        std::printf("\n");
        logmessage("...error writing %s: %s\n", filename, mapout.file.reason);
        return false;
    }
    return true;
}

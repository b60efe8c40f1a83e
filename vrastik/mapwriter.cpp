// The voxel map file: a 108-byte header, then every column as spans.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "generator.h"
#include "runlog.h"

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
        out[pos] = uint8_t(colour);
        out[pos + 1] = uint8_t(colour >> 8);
        out[pos + 2] = uint8_t(colour >> 16);
        out[pos + 3] = uint8_t(colour >> 24);
        pos += 4;
        colours++;
    }
};

// A span length is one byte of 4-byte words, its header included.
const int maxspancolours = 254;

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

void put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = uint8_t(v >> (8 * i));
}

void putdouble(uint8_t *p, double d)
{
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    for (int i = 0; i < 8; i++)
        p[i] = uint8_t(bits >> (8 * i));
}

const int headersize = 108;

void makeheader(uint8_t *h, int sx, int sy, int sz)
{
    const double frame[9] = {1, 0, 0, 0, 0, 1, 0, -1, 0};   // right, down, forward
    put32(h, 0x09072000);
    put32(h + 4, mapsize);
    put32(h + 8, mapsize);
    putdouble(h + 12, sx);
    putdouble(h + 20, sy);
    putdouble(h + 28, sz);
    for (int i = 0; i < 9; i++)
        putdouble(h + 36 + 8 * i, frame[i]);
}

// The map is written to a temporary file beside the target and renamed over
// it only when complete; a failed or interrupted run leaves the old map alone.
struct mapfilestate {
    char temppath[4096];
    bool active;
};
mapfilestate mapfile;

void removetemp()
{
    if (mapfile.active)
        unlink(mapfile.temppath);
    mapfile.active = false;
}

extern "C" void ontermsignal(int sig)
{
    if (mapfile.active)
        unlink(mapfile.temppath);
    signal(sig, SIG_DFL);
    raise(sig);
}

struct rowbuffers {
    int32_t rows[3][mapsize][mapdepth];
    int32_t outside[mapdepth];   // all zero: not the air code, so solid
    uint8_t column[maxcolumnbytes];
};

bool writerows(FILE *f, rowbuffers &b)
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
                if (std::fwrite(b.column, 1, size_t(n), f) != size_t(n))
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
    std::snprintf(mapfile.temppath, sizeof mapfile.temppath, "%s.%ld.tmp", filename, long(getpid()));
    FILE *f = std::fopen(mapfile.temppath, "wb");
    if (!f) {
        logmessage("...error creating %s: %s\n", mapfile.temppath, std::strerror(errno));
        return false;
    }
    mapfile.active = true;
    setfatalcleanup(removetemp);
    signal(SIGINT, ontermsignal);
    signal(SIGTERM, ontermsignal);

    static char iobuffer[1 << 20];
    std::setvbuf(f, iobuffer, _IOFBF, sizeof iobuffer);
    uint8_t header[headersize];
    makeheader(header, startx, starty, startz);
    bool ok = std::fwrite(header, 1, headersize, f) == headersize && writerows(f, buffers);
    int err = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && std::rename(mapfile.temppath, filename) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        removetemp();
        std::printf("\n");
        logmessage("...error writing %s: %s\n", filename, std::strerror(err));
        return false;
    }
    mapfile.active = false;
    return true;
}

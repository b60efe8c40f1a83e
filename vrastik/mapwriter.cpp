// The voxel map file: a 108-byte header, then every column as spans (each
// column from encoder.cpp).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "generator.h"
#include "runlog.h"

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

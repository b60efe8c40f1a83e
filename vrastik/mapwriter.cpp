// The voxel map file: a 108-byte header, then every column as spans (the
// rows come from bands.cpp, each column from encoder.cpp).
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

} // namespace

bool writemap(const char *filename, int startx, int starty, int startz)
{
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
    bool ok = std::fwrite(header, 1, headersize, f) == headersize && writerows(f);
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

// Voxel map file: header, column decoding and whole-file checking.
#include "mapfile.h"
#include "byteorder.h"
#include "safefile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

static void vsetfault(mapfault *fault, mapfaultkind kind, uint64_t offset, const char *format, va_list args)
{
    if (!fault)
        return;
    fault->kind = kind;
    fault->offset = offset;
    fault->x = -1;
    fault->y = -1;
    std::vsnprintf(fault->text, sizeof fault->text, format, args);
}

// Fills *fault (when given) and returns false.
static bool setfault(mapfault *fault, mapfaultkind kind, uint64_t offset, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsetfault(fault, kind, offset, format, args);
    va_end(args);
    return false;
}

// The same for the column decoder, which returns -1 on a fault.
static long columnfault(mapfault *fault, mapfaultkind kind, uint64_t offset, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsetfault(fault, kind, offset, format, args);
    va_end(args);
    return -1;
}

static void clearfault(mapfault *fault)
{
    if (fault) {
        fault->kind = mapok;
        fault->offset = 0;
        fault->x = -1;
        fault->y = -1;
        fault->text[0] = 0;
    }
}

// ---- columns ---------------------------------------------------------------

// What the decoder carries from one span to the next.
struct spanwalk {
    int topstart;              // of the previous span
    int next;                  // first z not yet decided
    int bottoms;               // bottom colours of the previous span
    const uint8_t *bottom;     // their colour words
};

static void setvoxels(mapcolumn *col, int from, int to, uint8_t state)
{
    for (int z = from; z < to; z++) {
        col->state[z] = state;
        col->colour[z] = 0;
    }
}

static void setcolours(mapcolumn *col, int from, int count, const uint8_t *words)
{
    for (int i = 0; i < count; i++) {
        col->state[from + i] = voxelcoloured;
        col->colour[from + i] = getle32(words + 4 * i);
    }
    col->colours += count;
}

// Checks the z bounds of the span at p (column offset pos) against what came
// before it. On success the span's voxels above its top run are decided.
static bool placespan(const uint8_t *p, size_t pos, int index, spanwalk *walk, mapcolumn *col, mapfault *fault)
{
    int topstart = p[1], topend = p[2], airstart = p[3];
    int tops = topend - topstart + 1;
    if (tops < 0)
        return setfault(fault, mapfaultz, pos + 2, "top end %d lies above top start %d", topend, topstart);
    if (airstart > topstart)
        return setfault(fault, mapfaultz, pos + 3, "air start %d lies below top start %d", airstart, topstart);
    if (index == 0) {
        if (airstart != 0)
            return setfault(fault, mapfaultz, pos + 3, "air start %d of the first span is not 0", airstart);
        if (tops == 0)
            return setfault(fault, mapfaultuncoloured, pos + 2, "topmost solid voxel z = %d has no colour", topstart);
        if (col)
            setvoxels(col, 0, topstart, voxelair);
        return true;
    }
    int bottomfrom = airstart - walk->bottoms;
    if (bottomfrom < walk->next)
        return setfault(fault, mapfaultz, pos + 3,
                        "air start %d leaves no room for the %d bottom colours of the span above (its top run ends at z = %d)",
                        airstart, walk->bottoms, walk->next - 1);
    // A real air gap has visible solid on both sides.
    if (airstart < topstart) {
        if (walk->bottoms == 0 && walk->next != airstart)
            return setfault(fault, mapfaultuncoloured, pos + 3,
                            "solid voxel z = %d above the air gap has no colour", airstart - 1);
        if (tops == 0)
            return setfault(fault, mapfaultuncoloured, pos + 2,
                            "solid voxel z = %d below the air gap has no colour", topstart);
    }
    // Each span begins lower than the one above it, so a column ends after
    // at most 256 spans.
    if (topstart <= walk->topstart)
        return setfault(fault, mapfaultz, pos + 1, "top start %d does not lie below the top start %d of the span above",
                        topstart, walk->topstart);
    if (col) {
        setvoxels(col, walk->next, bottomfrom, voxelhidden);
        setcolours(col, bottomfrom, walk->bottoms, walk->bottom);
        setvoxels(col, airstart, topstart, voxelair);
    }
    return true;
}

long decodecolumn(const uint8_t *bytes, size_t size, mapcolumn *col, mapfault *fault)
{
    clearfault(fault);
    if (col) {
        col->spans = 0;
        col->colours = 0;
    }
    spanwalk walk = {-1, 0, 0, nullptr};
    size_t pos = 0;
    for (int index = 0;; index++) {
        if (size - pos < 4)
            return columnfault(fault, mapfaulttruncated, pos,
                               "span header runs past the end of the data (%zu bytes left)", size - pos);
        const uint8_t *p = bytes + pos;
        int length = p[0], topstart = p[1], topend = p[2];
        if (!placespan(p, pos, index, &walk, col, fault))
            return -1;
        int tops = topend - topstart + 1;
        int words = length > 0 ? length - 1 : tops;   // colour words after the header
        if (length > 0 && length < 1 + tops)
            return columnfault(fault, mapfaultspan, pos,
                               "span length %d is shorter than its header and top run of %d colours", length, tops);
        if (size - pos - 4 < size_t(words) * 4)
            return columnfault(fault, mapfaulttruncated, pos,
                               "span of %d colour words runs past the end of the data (%zu bytes left)", words,
                               size - pos - 4);
        int bottoms = words - tops;
        // The next span's air start is at most 255 and lies below the bottom colours.
        if (length > 0 && bottoms > 254 - topend)
            return columnfault(fault, mapfaultz, pos,
                               "span length %d puts %d bottom colours below z = %d, more than the column holds",
                               length, bottoms, topend);
        if (col) {
            setcolours(col, topstart, tops, p + 4);
            col->spans++;
        }
        walk.topstart = topstart;
        walk.next = topend + 1;
        walk.bottoms = bottoms;
        walk.bottom = p + 4 + 4 * tops;
        pos += 4 + 4 * size_t(words);
        if (length == 0) {
            if (col)
                setvoxels(col, walk.next, mapheight, voxelhidden);
            return long(pos);
        }
    }
}

// ---- header ----------------------------------------------------------------

static void getvector(const uint8_t *p, double v[3])
{
    for (int i = 0; i < 3; i++)
        v[i] = getledouble(p + 8 * i);
}

static bool finitevector(const double v[3])
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

static double dot(const double a[3], const double b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// right, down and forward: unit length, perpendicular, forward = right x down.
static bool checkframe(const mapheader *h, mapfault *fault)
{
    const double *vectors[3] = {h->right, h->down, h->forward};
    static const char *const names[3] = {"right", "down", "forward"};
    const double tolerance = 1e-6;
    for (int i = 0; i < 3; i++) {
        uint64_t at = mapfieldright + 24 * i;
        if (!finitevector(vectors[i]))
            return setfault(fault, mapfaultframe, at, "%s vector is not finite", names[i]);
        if (std::fabs(dot(vectors[i], vectors[i]) - 1) > tolerance)
            return setfault(fault, mapfaultframe, at, "%s vector is not of unit length", names[i]);
        for (int j = 0; j < i; j++)
            if (std::fabs(dot(vectors[i], vectors[j])) > tolerance)
                return setfault(fault, mapfaultframe, at, "%s vector is not perpendicular to the %s vector", names[i],
                                names[j]);
    }
    const double *r = h->right, *d = h->down;
    double cross[3] = {r[1] * d[2] - r[2] * d[1], r[2] * d[0] - r[0] * d[2], r[0] * d[1] - r[1] * d[0]};
    if (dot(cross, h->forward) < 1 - tolerance)
        return setfault(fault, mapfaultframe, mapfieldforward, "forward vector is not right x down");
    return true;
}

bool readmapheader(const uint8_t *bytes, size_t size, mapheader *h, mapfault *fault)
{
    clearfault(fault);
    if (size < size_t(mapheaderbytes))
        return setfault(fault, mapfaultheader, size, "file of %zu bytes is shorter than the %d-byte header", size,
                        mapheaderbytes);
    h->magic = getle32(bytes);
    h->sizex = getle32(bytes + mapfieldsizex);
    h->sizey = getle32(bytes + mapfieldsizey);
    getvector(bytes + mapfieldstart, h->start);
    getvector(bytes + mapfieldright, h->right);
    getvector(bytes + mapfielddown, h->down);
    getvector(bytes + mapfieldforward, h->forward);
    if (h->magic != mapmagic)
        return setfault(fault, mapfaultmagic, 0, "magic 0x%08X is not 0x%08X", h->magic, mapmagic);
    if (h->sizex == 0 || h->sizex > mapmaxside)
        return setfault(fault, mapfaultsize, mapfieldsizex, "size x %u is not in 1..%u", h->sizex, mapmaxside);
    if (h->sizey == 0 || h->sizey > mapmaxside)
        return setfault(fault, mapfaultsize, mapfieldsizey, "size y %u is not in 1..%u", h->sizey, mapmaxside);
    if (uint64_t(h->sizex) * h->sizey > mapmaxcolumns)
        return setfault(fault, mapfaultsize, mapfieldsizey, "size x %u * size y %u is more than %llu columns", h->sizex,
                        h->sizey, (unsigned long long)mapmaxcolumns);
    if (!finitevector(h->start))
        return setfault(fault, mapfaultstart, mapfieldstart, "start position is not finite");
    return checkframe(h, fault);
}

// ---- whole file --------------------------------------------------------------

bool checkmap(mapfile *map, mapfault *fault)
{
    mapfault unused;
    if (!fault)
        fault = &unused;
    map->offsets.clear();
    const uint8_t *bytes = map->bytes.data();
    size_t size = map->bytes.size();
    if (!readmapheader(bytes, size, &map->header, fault))
        return false;
    uint64_t columns = uint64_t(map->header.sizex) * map->header.sizey;
    if (size > mapmaxbytes(columns))
        return setfault(fault, mapfaultlength, mapmaxbytes(columns),
                        "file is longer than the longest valid map of %u x %u columns (%llu bytes)", map->header.sizex,
                        map->header.sizey, (unsigned long long)mapmaxbytes(columns));
    // Every column takes at least 8 bytes; reserve no more than the file can hold.
    map->offsets.reserve(size_t(std::min<uint64_t>(columns, size / 8)) + 1);
    size_t pos = mapheaderbytes;
    for (uint64_t i = 0; i < columns; i++) {
        map->offsets.push_back(pos);
        long used = decodecolumn(bytes + pos, size - pos, nullptr, fault);
        if (used < 0) {
            fault->offset += pos;
            fault->x = long(i % map->header.sizex);
            fault->y = long(i / map->header.sizex);
            map->offsets.clear();
            return false;
        }
        pos += size_t(used);
    }
    map->offsets.push_back(pos);
    if (pos != size) {
        map->offsets.clear();
        return setfault(fault, mapfaulttrailing, pos, "%zu bytes after the last column", size - pos);
    }
    return true;
}

// Appends up to limit - out->size() bytes; false on a read error.
static bool readupto(int fd, std::vector<uint8_t> *out, uint64_t limit)
{
    uint8_t chunk[1 << 16];
    while (out->size() < limit) {
        size_t want = size_t(std::min<uint64_t>(sizeof chunk, limit - out->size()));
        ssize_t got = read(fd, chunk, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        out->insert(out->end(), chunk, chunk + got);
    }
    return true;
}

// The header first; then the columns, up to one byte past the longest valid
// map of the header's size, so checkmap can tell a file that goes on.
static bool readwhole(const char *path, std::vector<uint8_t> *out, mapfault *fault)
{
    out->clear();
    char why[200];
    int fd = openregular(path, why, sizeof why);
    if (fd < 0)
        return setfault(fault, mapfaultfile, 0, "cannot open %s: %s", path, why);
    bool ok = readupto(fd, out, mapheaderbytes);
    mapheader h;
    if (ok && readmapheader(out->data(), out->size(), &h, nullptr)) {
        uint64_t limit = mapmaxbytes(uint64_t(h.sizex) * h.sizey) + 1;
        struct stat st;
        if (fstat(fd, &st) == 0 && st.st_size > 0)
            out->reserve(size_t(std::min<uint64_t>(uint64_t(st.st_size), limit)));
        ok = readupto(fd, out, limit);
    }
    int err = errno;
    close(fd);
    if (!ok)
        return setfault(fault, mapfaultfile, out->size(), "cannot read %s: %s", path, std::strerror(err));
    return true;
}

bool loadmap(const char *path, mapfile *map, mapfault *fault)
{
    clearfault(fault);
    map->offsets.clear();
    if (!readwhole(path, &map->bytes, fault))
        return false;
    return checkmap(map, fault);
}

const uint8_t *columnbytes(const mapfile &map, uint32_t x, uint32_t y, size_t *size)
{
    size_t i = size_t(y) * map.header.sizex + x;
    *size = map.offsets[i + 1] - map.offsets[i];
    return map.bytes.data() + map.offsets[i];
}

void decodemapcolumn(const mapfile &map, uint32_t x, uint32_t y, mapcolumn *col)
{
    size_t size;
    const uint8_t *bytes = columnbytes(map, x, y, &size);
    decodecolumn(bytes, size, col, nullptr);
}

void formatfault(const mapfault &fault, char *out, size_t outsize)
{
    if (fault.kind == mapfaultfile)
        std::snprintf(out, outsize, "%s", fault.text);
    else if (fault.x >= 0)
        std::snprintf(out, outsize, "offset %llu, column (%ld, %ld): %s", (unsigned long long)fault.offset, fault.x,
                      fault.y, fault.text);
    else
        std::snprintf(out, outsize, "offset %llu: %s", (unsigned long long)fault.offset, fault.text);
}

// ---- queries on checked columns ------------------------------------------------

int columnvoxel(const uint8_t *bytes, size_t size, int z, uint32_t *colour)
{
    const uint8_t *bottom = nullptr;   // bottom colours of the span above
    int bottoms = 0;
    size_t pos = 0;
    for (int index = 0; pos + 4 <= size; index++) {
        const uint8_t *p = bytes + pos;
        int length = p[0], topstart = p[1], topend = p[2], airstart = index == 0 ? 0 : p[3];
        if (z < topstart) {
            if (z >= airstart)
                return voxelair;
            int first = airstart - bottoms;
            if (z < first)
                return voxelhidden;
            *colour = getle32(bottom + 4 * (z - first));
            return voxelcoloured;
        }
        if (z <= topend) {
            *colour = getle32(p + 4 + 4 * (z - topstart));
            return voxelcoloured;
        }
        if (length == 0)
            return voxelhidden;
        int tops = topend - topstart + 1;
        bottom = p + 4 + 4 * tops;
        bottoms = length - 1 - tops;
        pos += 4 * size_t(length);
    }
    return voxelhidden;
}

void columnsolid(const uint8_t *bytes, size_t size, uint64_t solid[4])
{
    for (int i = 0; i < 4; i++)
        solid[i] = ~uint64_t(0);
    size_t pos = 0;
    for (int index = 0; pos + 4 <= size; index++) {
        const uint8_t *p = bytes + pos;
        int length = p[0], topstart = p[1], airstart = index == 0 ? 0 : p[3];
        for (int z = airstart; z < topstart; z++)
            solid[z >> 6] &= ~(uint64_t(1) << (z & 63));
        if (length == 0)
            return;
        pos += 4 * size_t(length);
    }
}

int columntop(const uint8_t *bytes)
{
    return bytes[1];
}

int columncolours(const uint8_t *bytes, size_t size, uint64_t coloured[4], uint32_t *colours)
{
    for (int i = 0; i < 4; i++)
        coloured[i] = 0;
    int count = 0;
    auto take = [&](int z, const uint8_t *word) {
        coloured[z >> 6] |= uint64_t(1) << (z & 63);
        colours[count++] = getle32(word);
    };
    size_t pos = 0;
    while (pos + 4 <= size) {
        const uint8_t *p = bytes + pos;
        int length = p[0], topstart = p[1], tops = p[2] - p[1] + 1;
        for (int k = 0; k < tops; k++)
            take(topstart + k, p + 4 + 4 * k);
        if (length == 0 || pos + 4 * size_t(length) + 4 > size)
            break;
        // The bottom colours sit directly above the next span's air start.
        int bottoms = length - 1 - tops, airstart = p[4 * length + 3];
        for (int k = 0; k < bottoms; k++)
            take(airstart - bottoms + k, p + 4 + 4 * (tops + k));
        pos += 4 * size_t(length);
    }
    return count;
}

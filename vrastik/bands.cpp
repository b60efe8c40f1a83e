// The rows of the map: in bands of rows on the pool's threads, with the same
// bytes on any number of them. With one thread the caller does every band
// itself, the same way.
//
// A band is a run of rows. Whoever takes it builds the columns of its rows
// and of the rows on either side of it and encodes every column into the
// band's own buffer. A colour is made as its column is encoded when it can
// be; otherwise the column gets a placeholder and the band notes where the
// colour goes, to make it later:
//   built-in colours: the dither draws three numbers of the generator random
//     per voxel in map order, so a band starts a generator of its own at its
//     first draw, jumped ahead over the draws of every band before it. When
//     those are known as the band is taken (every band before it encoded,
//     always so on one thread) it colours as it encodes; else it notes its
//     colours and makes them once they are known;
//   texture scripts: no draws, so every band colours as it encodes;
//   texture scripts that draw RND or NRND (one shared state, draw counts that
//     depend on the data): the writer colours each band in map order just
//     before writing it.
// The caller is the writer: it writes the bands in order with the progress
// bar after each row, and while the next band is not ready it takes a band
// itself (on one thread it takes every band). At most as many threads as
// asked for, and at most 32, are in bands at once, and at most `window`
// bands are taken and not yet written. A band's row buffers (a kit) are
// taken with it and given back when it is coloured, so memory grows with the
// threads in bands, not with the threads asked for. A band that meets a
// fatal error (or runs out of memory) stops there; the writer writes the
// rows that one thread going row by row would have written before meeting
// it, and returns the message.
//
// Every allocation a band's thread makes is in a try that turns
// std::bad_alloc into the band's fault, or was made before the threads
// start (the band records, and room for every spare buffer and kit).
#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <type_traits>
#include <vector>

#include "compiler.h"
#include "generator.h"
#include "hugepages.h"
#include "runlog.h"
#include "workers.h"

rowsfigures lastrows;

namespace {

// One row of column codes and their air bits.
struct coderow {
    int32_t codes[mapsize][mapdepth];
    airbits bits[mapsize];
};

// What a thread needs for a band: three rows that turn round (the one
// before, this one, the next), the air bits of the all-solid column outside
// the map (none), and the cells of grid 2 it coloured from last. A band ends holding its last row and the row after it: the
// next band, when the same kit takes it, starts from them.
struct bandkit {
    coderow rows[3];
    coderow *previous, *current, *next;
    int heldfrom;                   // the band that may start from the rows held, -1: none
    airbits outside;
    cellcache cells;
};

// A kit, or nullptr when memory ran out. The rows need no value before use:
// every row is built before it is read.
bandkit *newkit()
{
    void *p = hugealloc(sizeof(bandkit));
    if (!p)
        return nullptr;
    bandkit *k = new (p) bandkit;
    k->previous = &k->rows[0];
    k->current = &k->rows[1];
    k->next = &k->rows[2];
    k->heldfrom = -1;
    k->outside = {};
    return k;
}

void freekit(bandkit *k)
{
    k->~bandkit();
    std::free(k);
}

// The columns of row y, false when one of them cannot be built.
bool buildrow(coderow &row, int y)
{
    for (int x = 0; x < mapsize; x++) {
        if (!makecolumn(x, y, row.codes[x]))
            return false;
        columnairbits(row.codes[x], row.bits[x]);
    }
    return true;
}

// Column x of the current row, encoded into out with its four neighbours.
int encodeat(bandkit &k, const coderow *previous, const coderow &current, const coderow *next, int x, int y,
             uint8_t *out, const voxelpainter &paint)
{
    const airbits *const nb[4] = {
        x > 0 ? &current.bits[x - 1] : &k.outside,
        x < mapsize - 1 ? &current.bits[x + 1] : &k.outside,
        y > 0 ? &previous->bits[x] : &k.outside,
        y < mapsize - 1 ? &next->bits[x] : &k.outside,
    };
    return encodecolumnbits(current.codes[x], current.bits[x], nb, x, y, out, paint);
}

// Where one thread going row by row meets an event: row k built, row y
// encoded with its colours (it builds row y + 1 before it encodes row y).
// The rows written before a fault are those encoded before it in this order.
int builtat(int k) { return 2 * k; }
int encodedat(int y) { return 2 * y + 3; }

enum colourmode { dithered, textured, texturedinorder };

// A colour still to be made: where its word goes and its voxel.
struct colourslot {
    uint32_t at;
    uint16_t x;
    uint8_t z;
    uint8_t row;     // within the band
};

enum bandstage { waiting, encoded, coloured };

// What a band's buffers hold before they grow, per row: 1024 columns of 32
// bytes, and their colours. A buffer that grows and is copied as it grows
// costs more than the rows it holds.
constexpr size_t rowbytesreserve = size_t(32) << 10;
constexpr size_t rowslotsreserve = rowbytesreserve / sizeof(colourslot);

// Bands out at once (taken and not yet written) at most. Each holds a kit
// of about 3 MB while it is built and coloured: more threads than this on
// the bands would add memory, not speed, on the machines this runs on.
constexpr int maxbandsout = 32;

// Bytes in 2 MB pages that a resize leaves as they were: the encoder writes
// every byte before it is read, and clearing them would touch pages the
// band may never use.
struct unclearedbytes : hugeallocator<uint8_t> {
    template <typename U> struct rebind {
        using other = std::conditional_t<std::is_same_v<U, uint8_t>, unclearedbytes, hugeallocator<U>>;
    };
    void construct(uint8_t *) noexcept {}
    void construct(uint8_t *p, uint8_t v) noexcept { *p = v; }
};

// A band's buffers; those of written bands are used again. The columns are
// encoded straight into `bytes`, which keeps room for the longest column
// past the last one (its size is that room, not the bytes encoded).
struct bandbuffers {
    std::vector<uint8_t, unclearedbytes> bytes;
    std::vector<uint32_t> rowends;  // bytes after each row encoded
    std::vector<colourslot, hugeallocator<colourslot>> slots;
};

// Its thread writes a band's vectors column by column: each band on cache
// lines of its own, away from its neighbours' threads.
struct alignas(cacheline) band : bandbuffers {
    int first, end;                 // rows first .. end - 1
    uint64_t colours;               // colours made or noted
    int failat;                     // position of its fatal error, INT_MAX without
    const char *fault;
    bandstage stage;
};

struct bandrun {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<band> bands;
    int next = 0;                   // the next band to take
    int written = 0;                // bands the writer has written
    int window = 1;                 // most bands taken but not yet written
    int encoders = 1;               // most threads in bands at once
    int inband = 0;                 // threads in bands now
    int counted = 0;                // bands, in order, whose draws are known
    std::vector<uint64_t> drawsbefore;
    std::vector<bandbuffers> spare; // of written bands, emptied; room for `window`
    std::vector<bandkit *> kits;    // kits not in use; room for `window`
    int kitsmade = 0;
    int threadsused = 0;            // pool threads that took a band
    std::atomic<bool> cancel{false};
    colourmode mode = dithered;
    genrandomstate dither{};        // the generator random at the first voxel of the map
    cellcache writercells;          // the writer's, for texturedinorder
};

void fail(band &b, int at, const char *fault)
{
    if (at < b.failat) {
        b.failat = at;
        b.fault = fault;
    }
}

// Where the colours of the column being encoded go.
struct colournote {
    band *b;
    bandkit *kit;
    bool now;                       // made as encoded, from `dither`
    genrandomstate dither;
    size_t base;                    // where the column goes in the band's bytes
    int row;
};

// Encoder callback: the colour made now, or the slot noted with a
// placeholder. A voxel that cannot be coloured is the band's fault.
uint32_t paintvoxel(void *ctx, int x, int y, int z, int pos)
{
    colournote &n = *static_cast<colournote *>(ctx);
    n.b->colours++;
    if (!n.now) {
        n.b->slots.push_back({uint32_t(n.base + size_t(pos)), uint16_t(x), uint8_t(z), uint8_t(n.row)});
        return 0;
    }
    uint32_t colour = 0;
    if (const char *fault = colourvoxel(n.kit->cells, x, y, z, n.dither, colour))
        fail(*n.b, encodedat(y), fault);
    return colour;
}

const char outofmemory[] = "out of memory for the rows of the map!\n";

// Memory ran out for the band: its fault comes before any of its rows.
void failoutofmemory(band &b)
{
    fail(b, builtat(b.first - 1), outofmemory);
}

// Build and encode the band's rows in the order of one thread going row by
// row, stopping after the row of its first fault.
void encodeband(bandrun &run, band &b, bandkit &kit, colournote &note)
{
    const bool held = kit.heldfrom == b.first;
    kit.heldfrom = -1;
    if (!held && b.first > 0 && !buildrow(*kit.previous, b.first - 1))
        return fail(b, builtat(b.first - 1), "no closest point!?\n");
    if (!held && !buildrow(*kit.current, b.first))
        return fail(b, builtat(b.first), "no closest point!?\n");
    size_t used = 0;
    for (int y = b.first; y < b.end; y++) {
        if (run.cancel || b.fault)
            return;
        if (y + 1 < mapsize && !buildrow(*kit.next, y + 1))
            return fail(b, builtat(y + 1), "no closest point!?\n");
        note.row = y - b.first;
        for (int x = 0; x < mapsize; x++) {
            if (b.bytes.size() - used < size_t(maxcolumnbytes))
                b.bytes.resize(std::max(2 * b.bytes.size(), used + size_t(maxcolumnbytes)));
            note.base = used;
            used += size_t(encodeat(kit, kit.previous, *kit.current, kit.next, x, y, b.bytes.data() + used,
                                    {paintvoxel, &note}));
        }
        b.rowends.push_back(uint32_t(used));
        coderow *old = kit.previous;
        kit.previous = kit.current;
        kit.current = kit.next;
        kit.next = old;
    }
    kit.heldfrom = b.end;
}

// Make the band's colours in slot order, the dither drawn from `dither`.
void colourband(band &b, genrandomstate dither, cellcache &cells)
{
    const uint16_t saved = exprcallsbegin();
    try {
        for (const colourslot &s : b.slots) {
            uint32_t colour = 0;
            const int y = b.first + s.row;
            if (const char *fault = colourvoxel(cells, s.x, y, s.z, dither, colour)) {
                fail(b, encodedat(y), fault);
                break;
            }
            for (int i = 0; i < 4; i++)
                b.bytes[s.at + size_t(i)] = uint8_t(colour >> (8 * i));
        }
    } catch (const std::bad_alloc &) {
        failoutofmemory(b);
    }
    exprcallsend(saved);
}

// Bands counted in order: each one's first draw follows all draws before it.
void countdraws(bandrun &run)
{
    while (run.counted < int(run.bands.size()) && run.bands[size_t(run.counted)].stage >= encoded) {
        const band &b = run.bands[size_t(run.counted)];
        run.drawsbefore[size_t(run.counted) + 1] = run.drawsbefore[size_t(run.counted)] + 3 * b.colours;
        run.counted++;
    }
}

// Under the lock: a band may be taken now.
bool cantake(const bandrun &run)
{
    return !run.cancel && run.next < int(run.bands.size()) && run.next < run.written + run.window &&
           run.inband < run.encoders;
}

// Under the lock: take the next band with spare buffers and a kit, build,
// encode and colour it. `hold` is locked again on return.
void takeband(bandrun &run, std::unique_lock<std::mutex> &hold)
{
    const int k = run.next++;
    run.inband++;
    band &b = run.bands[size_t(k)];
    colournote note = {&b, nullptr, run.mode == textured || (run.mode == dithered && run.counted == k), run.dither,
                       0, 0};
    if (note.now)
        jumprandom(note.dither, run.drawsbefore[size_t(k)]);
    if (!run.spare.empty()) {
        static_cast<bandbuffers &>(b) = std::move(run.spare.back());
        run.spare.pop_back();
    }
    bandkit *kit = nullptr;
    if (!run.kits.empty()) {
        kit = run.kits.back();
        run.kits.pop_back();
    }
    hold.unlock();
    bool made = false;
    const uint16_t saved = exprcallsbegin();
    try {
        if (!kit) {
            kit = newkit();
            if (!kit)
                throw std::bad_alloc();
            made = true;
        }
        note.kit = kit;
        const size_t rows = size_t(b.end - b.first);
        if (b.bytes.size() < rows * rowbytesreserve)
            b.bytes.resize(rows * rowbytesreserve);
        if (!note.now)
            b.slots.reserve(rows * rowslotsreserve);
        b.rowends.reserve(rows);
        encodeband(run, b, *kit, note);
    } catch (const std::bad_alloc &) {
        failoutofmemory(b);
    }
    exprcallsend(saved);
    hold.lock();
    run.kitsmade += made;
    b.stage = encoded;
    countdraws(run);
    run.changed.notify_all();
    if (!note.now && run.mode == dithered) {
        run.changed.wait(hold, [&] { return run.cancel || run.counted > k; });
        genrandomstate dither = run.dither;
        jumprandom(dither, run.drawsbefore[size_t(k)]);
        hold.unlock();
        if (!run.cancel && kit)
            colourband(b, dither, kit->cells);
        hold.lock();
    }
    if (kit)
        run.kits.push_back(kit);
    run.inband--;
    b.stage = coloured;
    run.changed.notify_all();
}

// A pool thread on the bands: takes the next band while the window has room,
// until none is left.
void bandworker(bandrun &run)
{
    std::unique_lock<std::mutex> hold(run.lock);
    bool took = false;
    for (;;) {
        run.changed.wait(hold, [&] { return run.cancel || run.next == int(run.bands.size()) || cantake(run); });
        if (run.cancel || run.next == int(run.bands.size()))
            return;
        run.threadsused += !took;
        took = true;
        takeband(run, hold);
    }
}

// The bands: at least 8 rows (each builds two rows of its neighbours
// again), at most 64 (its buffers grow with its rows). The first ones are
// short, so that writing starts soon, and so are the last ones, so that the
// threads finish together.
void makebands(std::vector<band> &bands, int threads)
{
    for (int y = 0, k = 0; y < mapsize; k++) {
        int rows = std::min(64, 8 << std::min(k, 3));
        rows = std::min(rows, std::max(8, (mapsize - y) / (2 * threads)));
        rows = std::min(rows, mapsize - y);
        bands.push_back({{}, y, y + rows, 0, INT_MAX, nullptr, waiting});
        y += rows;
    }
}

colourmode colourmodeofrun()
{
    if (gen.texturecount == 0)
        return dithered;
    for (int i = 0; i < gen.texturecount; i++)
        if (exprdrawsrandom(gen.slots[i].func))
            return texturedinorder;
    return textured;
}

// Write band k's rows that come before its fatal error; false on a write error.
bool writeband(safefile &f, const band &b)
{
    uint32_t from = 0;
    for (size_t r = 0; r < b.rowends.size(); r++) {
        const int y = b.first + int(r);
        if (encodedat(y) >= b.failat)
            break;
        const size_t n = b.rowends[r] - from;
        if (!safewrite(f, b.bytes.data() + from, n))
            return false;
        from = b.rowends[r];
        printprogress(100 * (y + 1) / mapsize);
    }
    return true;
}

// The writer: every band in order, taking bands itself while the next one
// is not ready.
writeoutcome writeinorder(bandrun &run, safefile &f)
{
    for (band &b : run.bands) {
        {
            std::unique_lock<std::mutex> hold(run.lock);
            while (b.stage != coloured) {
                if (cantake(run)) {
                    takeband(run, hold);
                } else {
                    run.changed.wait(hold);
                }
            }
        }
        if (run.mode == texturedinorder)
            colourband(b, genrandom, run.writercells);
        if (!writeband(f, b))
            return {writefailed, f.reason};
        if (b.fault)
            return {writefatal, b.fault};
        b.rowends.clear();
        b.slots.clear();
        std::lock_guard<std::mutex> hold(run.lock);
        run.spare.push_back(std::move(static_cast<bandbuffers &>(b)));
        run.written++;
        run.changed.notify_all();
    }
    return {writeok, nullptr};
}

// The records of a run, made before any thread starts; false when memory ran out.
bool preparerun(bandrun &run, int threads)
{
    try {
        makebands(run.bands, threads);
        run.encoders = std::min({threads, maxbandsout, int(run.bands.size())});
        run.window = run.encoders + 2;
        run.drawsbefore.assign(run.bands.size() + 1, 0);
        run.spare.reserve(size_t(run.window));
        run.kits.reserve(size_t(run.window));
    } catch (const std::bad_alloc &) {
        return false;
    }
    run.mode = colourmodeofrun();
    run.dither = genrandom;
    return true;
}

} // namespace

writeoutcome writerows(safefile &f)
{
    const int threads = std::max(gen.threads, 1);
    bandrun run;
    if (!preparerun(run, threads))
        return {writefatal, outofmemory};
    // The writer is one of the threads; pool threads beyond the bands or the
    // limit would never take one.
    const int workers = run.encoders - 1;
    auto work = [&run](int) { bandworker(run); };
    pooljob job;
    poolopen(job, workers + 1, workers, workof(work));
    const writeoutcome out = writeinorder(run, f);
    if (out.status != writeok) {
        std::lock_guard<std::mutex> hold(run.lock);
        run.cancel = true;
        run.changed.notify_all();
    }
    poolclose(job);
    for (bandkit *k : run.kits)
        freekit(k);
    lastrows = {int(run.bands.size()), run.threadsused, run.kitsmade};
    if (out.status == writeok)
        jumprandom(genrandom, run.drawsbefore.back());
    return out;
}

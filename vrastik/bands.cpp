// The rows of the map: one after the other on this thread, or in bands of
// rows on several threads, with the same bytes.
//
// A band is a run of rows. Its worker builds the columns of its rows and of
// the rows on either side of it, encodes every column into the band's own
// buffer with a placeholder for each colour, and notes where each colour
// goes. Then the colours:
//   built-in colours: the dither draws three numbers of the generator random
//     per voxel in map order, so a band starts a generator of its own at its
//     first draw, jumped ahead over the draws of every band before it (known
//     as soon as those are encoded);
//   texture scripts: no draws, so every band colours at once;
//   texture scripts that draw RND or NRND (one shared state, draw counts that
//     depend on the data): the main thread colours each band in map order
//     just before writing it.
// The main thread writes the bands in order with the progress bar after each
// row. A band that meets a fatal error stops there; the main thread writes
// the rows the serial run would have written before meeting it, then ends
// the run with its message, as the serial run does.
#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "compiler.h"
#include "generator.h"
#include "hugepages.h"
#include "runlog.h"
#include "workers.h"

namespace {

// One row of column codes and their air bits.
struct coderow {
    int32_t codes[mapsize][mapdepth];
    airbits bits[mapsize];
};

// Three rows, the air bits of the all-solid column outside the map (none)
// and one encoded column.
struct rowbuffers {
    coderow rows[3];
    airbits outside;
    uint8_t column[maxcolumnbytes];
};

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

// Column x of the current row, encoded with its four neighbours.
int encodeat(rowbuffers &b, const coderow *previous, const coderow &current, const coderow *next, int x, int y,
             const voxelpainter &paint)
{
    const airbits *const nb[4] = {
        x > 0 ? &current.bits[x - 1] : &b.outside,
        x < mapsize - 1 ? &current.bits[x + 1] : &b.outside,
        y > 0 ? &previous->bits[x] : &b.outside,
        y < mapsize - 1 ? &next->bits[x] : &b.outside,
    };
    return encodecolumnbits(current.codes[x], current.bits[x], nb, x, y, b.column, paint);
}

// Row buffers of one thread, nullptr when memory ran out. Only `outside`
// needs a value before use: every row is built before it is read.
rowbuffers *newrowbuffers()
{
    rowbuffers *b = static_cast<rowbuffers *>(hugealloc(sizeof(rowbuffers)));
    if (b)
        b->outside = {};
    return b;
}

uint32_t inplacecolour(void *, int x, int y, int z, int)
{
    return voxelcolour(x, y, z);
}

// ---------------------------------------------------------------- one thread

// Row k is built before row k - 1 is encoded; colours are made as the
// encoder asks for them, and a fatal error ends the run where it happens.
bool serialrows(safefile &f, rowbuffers &b)
{
    coderow *previous = &b.rows[0], *current = &b.rows[1], *next = &b.rows[2];
    for (int k = 0; k <= mapsize; k++) {
        if (k < mapsize)
            for (int x = 0; x < mapsize; x++) {
                buildcolumn(x, k, next->codes[x]);
                columnairbits(next->codes[x], next->bits[x]);
            }
        if (k >= 1) {
            const int y = k - 1;
            for (int x = 0; x < mapsize; x++) {
                int n = encodeat(b, previous, *current, next, x, y, {inplacecolour, nullptr});
                if (!safewrite(f, b.column, size_t(n)))
                    return false;
            }
            printprogress(100 * k / mapsize);
        }
        coderow *old = previous;
        previous = current;
        current = next;
        next = old;
    }
    return true;
}

// ---------------------------------------------------------------- bands

// Where the serial run meets an event: row k built, row y encoded with its
// colours (it builds row y + 1 before it encodes row y).
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

// What a band's buffers hold before they grow: 64 rows of 32-byte columns.
constexpr size_t bandreserve = size_t(2) << 20;

// A band's buffers; those of written bands are used again.
struct bandbuffers {
    std::vector<uint8_t, hugeallocator<uint8_t>> bytes;
    std::vector<uint32_t> rowends;  // bytes after each row encoded
    std::vector<colourslot, hugeallocator<colourslot>> slots;
};

// Its worker writes a band's vectors column by column: each band on cache
// lines of its own, away from its neighbours' workers.
struct alignas(cacheline) band : bandbuffers {
    int first, end;                 // rows first .. end - 1
    int failat;                     // serial position of its fatal error, INT_MAX without
    const char *fault;
    bandstage stage;
};

struct bandrun {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<band> bands;
    int next;                       // the next band a worker takes
    int written;                    // bands the main thread has written
    int window;                     // most bands taken but not yet written
    int counted;                    // bands, in order, whose draws are known
    std::vector<uint64_t> drawsbefore;
    std::vector<bandbuffers> spare; // of written bands, emptied
    std::atomic<bool> cancel;
    colourmode mode;
    genrandomstate dither;          // the generator random at the first voxel of the map
};

// Encoder callback: note the slot and leave a placeholder.
struct slotnote {
    band *b;
    size_t base;                    // where the column goes in the band's bytes
    int row;
};

uint32_t noteslot(void *ctx, int x, int, int z, int pos)
{
    slotnote &n = *static_cast<slotnote *>(ctx);
    n.b->slots.push_back({uint32_t(n.base + size_t(pos)), uint16_t(x), uint8_t(z), uint8_t(n.row)});
    return 0;
}

void fail(band &b, int at, const char *fault)
{
    if (at < b.failat) {
        b.failat = at;
        b.fault = fault;
    }
}

const char outofmemory[] = "out of memory for the rows of the map!\n";

// Build and encode the band's rows in the serial run's order of events,
// stopping at the first column that cannot be built.
void encodeband(bandrun &run, band &b, rowbuffers &buf)
{
    coderow *previous = &buf.rows[0], *current = &buf.rows[1], *next = &buf.rows[2];
    if (b.first > 0 && !buildrow(*previous, b.first - 1))
        return fail(b, builtat(b.first - 1), "no closest point!?\n");
    if (!buildrow(*current, b.first))
        return fail(b, builtat(b.first), "no closest point!?\n");
    for (int y = b.first; y < b.end && !run.cancel; y++) {
        if (y + 1 < mapsize && !buildrow(*next, y + 1))
            return fail(b, builtat(y + 1), "no closest point!?\n");
        slotnote note = {&b, 0, y - b.first};
        for (int x = 0; x < mapsize; x++) {
            note.base = b.bytes.size();
            int n = encodeat(buf, previous, *current, next, x, y, {noteslot, &note});
            b.bytes.insert(b.bytes.end(), buf.column, buf.column + n);
        }
        b.rowends.push_back(uint32_t(b.bytes.size()));
        coderow *old = previous;
        previous = current;
        current = next;
        next = old;
    }
}

// Make the band's colours in slot order, the dither drawn from `dither`.
void colourband(band &b, genrandomstate dither)
{
    const uint16_t saved = exprcallsbegin();
    for (const colourslot &s : b.slots) {
        uint32_t colour = 0;
        const int y = b.first + s.row;
        if (const char *fault = colourvoxel(s.x, y, s.z, dither, colour)) {
            fail(b, encodedat(y), fault);
            break;
        }
        for (int i = 0; i < 4; i++)
            b.bytes[s.at + size_t(i)] = uint8_t(colour >> (8 * i));
    }
    exprcallsend(saved);
}

// Bands counted in order: each one's first draw follows all draws before it.
void countdraws(bandrun &run)
{
    while (run.counted < int(run.bands.size()) && run.bands[size_t(run.counted)].stage >= encoded) {
        const band &b = run.bands[size_t(run.counted)];
        run.drawsbefore[size_t(run.counted) + 1] = run.drawsbefore[size_t(run.counted)] + 3 * b.slots.size();
        run.counted++;
    }
}

void worker(bandrun &run)
{
    rowbuffers *buf = newrowbuffers();
    for (;;) {
        std::unique_lock<std::mutex> hold(run.lock);
        run.changed.wait(hold, [&] {
            return run.cancel || run.next == int(run.bands.size()) || run.next < run.written + run.window;
        });
        if (run.cancel || run.next == int(run.bands.size()))
            break;
        const int k = run.next++;
        band &b = run.bands[size_t(k)];
        if (!run.spare.empty()) {
            static_cast<bandbuffers &>(b) = std::move(run.spare.back());
            run.spare.pop_back();
        }
        hold.unlock();
        try {
            if (!buf)
                throw std::bad_alloc();
            // Room for a typical band from the start: a buffer that grows
            // and is copied as it grows costs more than the rows it holds.
            b.bytes.reserve(bandreserve);
            b.slots.reserve(bandreserve / sizeof(colourslot));
            encodeband(run, b, *buf);
        } catch (const std::bad_alloc &) {
            fail(b, builtat(b.first - 1), outofmemory);
        }
        hold.lock();
        b.stage = encoded;
        countdraws(run);
        run.changed.notify_all();
        if (run.mode == dithered)
            run.changed.wait(hold, [&] { return run.cancel || run.counted > k; });
        genrandomstate dither = run.dither;
        jumprandom(dither, run.drawsbefore[size_t(k)]);
        hold.unlock();
        if (run.mode != texturedinorder && !run.cancel)
            colourband(b, dither);
        hold.lock();
        b.stage = coloured;
        run.changed.notify_all();
    }
    std::free(buf);
}

// The bands: at least 8 rows (each builds two rows of its neighbours
// again), at most 64 (its buffers grow with its rows). The first ones are
// short, so that writing starts soon, and so are the last ones, so that the
// threads finish together.
std::vector<band> makebands(int threads)
{
    std::vector<band> bands;
    for (int y = 0, k = 0; y < mapsize; k++) {
        int rows = std::min(64, 8 << std::min(k, 3));
        rows = std::min(rows, std::max(8, (mapsize - y) / (2 * threads)));
        rows = std::min(rows, mapsize - y);
        bands.push_back({{}, y, y + rows, INT_MAX, nullptr, waiting});
        y += rows;
    }
    return bands;
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

bool writerowsserially(safefile &f)
{
    rowbuffers *buffers = newrowbuffers();
    if (!buffers)
        fatalerror(outofmemory);
    const uint16_t saved = exprcallsbegin();
    bool ok = serialrows(f, *buffers);
    exprcallsend(saved);
    std::free(buffers);
    return ok;
}

bool bandedrows(safefile &f, int threads)
{
    bandrun run;
    run.bands = makebands(threads);
    run.next = run.written = run.counted = 0;
    run.window = threads + 1;      // one band more than the threads: the writer's
    run.drawsbefore.assign(run.bands.size() + 1, 0);
    run.cancel = false;
    run.mode = colourmodeofrun();
    run.dither = genrandom;
    workerset w;
    if (startworkers(w, threads, [&run] { worker(run); }) == 0)
        return writerowsserially(f);
    auto stop = [&] {
        {
            std::lock_guard<std::mutex> hold(run.lock);
            run.cancel = true;
        }
        run.changed.notify_all();
        joinworkers(w);
    };
    for (size_t k = 0; k < run.bands.size(); k++) {
        band &b = run.bands[k];
        {
            std::unique_lock<std::mutex> hold(run.lock);
            run.changed.wait(hold, [&] { return b.stage == coloured; });
        }
        if (run.mode == texturedinorder)
            colourband(b, genrandom);
        if (!writeband(f, b)) {
            stop();
            return false;
        }
        if (b.fault) {
            stop();
            fatalerror(b.fault);
        }
        b.bytes.clear();
        b.rowends.clear();
        b.slots.clear();
        std::lock_guard<std::mutex> hold(run.lock);
        run.spare.push_back(std::move(static_cast<bandbuffers &>(b)));
        run.written++;
        run.changed.notify_all();
    }
    joinworkers(w);
    jumprandom(genrandom, run.drawsbefore.back());
    return true;
}

} // namespace

bool writerows(safefile &f)
{
    return gen.threads > 1 ? bandedrows(f, gen.threads) : writerowsserially(f);
}

// The .vox writer. The steps, each over the models (tiles of the region) on
// the worker threads:
//   scan     walk every column's spans: count the voxels, list their colours
//   palette  the distinct colours and their voxel counts; the 255 entries
//   write    per model the XYZI voxels, a few models at a time, into the
//            file in model order; then the scene graph, the layer, the palette
// Every count is known before the first byte goes out, so the chunk sizes are
// written as they come and checked against what was written.
#include "vox.h"

#include "byteorder.h"
#include "progress.h"
#include "safefile.h"
#include "workers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int voxversion = 150;
constexpr int maxruns = 3 * mapheight + 1;   // a column's runs: at most three per span, and the ground
constexpr int batchmodels = 4;                // models built at once before they are written
constexpr uint64_t maxmainbytes = 0x7FFFFFFF;   // chunk sizes are signed 32-bit

// A run of voxels in a column, top down: coloured (words: its colour words)
// or hidden (words null: solid without a colour).
struct voxrun {
    int from, count;
    const uint8_t *words;
};

// One tile of the region, one model.
struct voxmodel {
    uint32_t x0, y0, x1, y1;                              // its columns, inclusive
    uint64_t voxels;
    std::vector<uint32_t> colours;                        // scan: colours of its coloured voxels
    std::vector<std::pair<uint32_t, uint32_t>> fills;     // scan, solid: colour and length of each hidden run
    std::vector<uint8_t> xyzi;                            // write: its voxels, 4 bytes each
};

// One export: the map, the choices, the models and the palette.
struct voxexport {
    const mapfile *map;
    exportoptions options;
    int threads;
    std::vector<voxmodel> models;
    colourset colours;
    palette pal;
    const char *path;
    progress bar;
};

// The next stage of the export on the progress line, the last one ended.
void stage(voxexport &e, const char *name, long parts)
{
    endprogress(&e.bar);
    if (e.options.progress)
        startprogress(&e.bar, std::string(e.path) + ": " + name, parts);
}

// ---- columns --------------------------------------------------------------------

// The runs of a checked column. Each span gives its top run, then (when
// another span follows) the hidden voxels down to its bottom colours and
// the bottom colours, which sit directly above the next span's air start;
// below the last span's top run everything is solid.
int columnruns(const uint8_t *bytes, voxrun *runs)
{
    int n = 0;
    for (const uint8_t *p = bytes;;) {
        int length = p[0], topstart = p[1], topend = p[2];
        int tops = topend - topstart + 1;
        if (tops > 0)
            runs[n++] = {topstart, tops, p + 4};
        if (length == 0) {
            if (topend < mapheight - 1)
                runs[n++] = {topend + 1, mapheight - 1 - topend, nullptr};
            return n;
        }
        const uint8_t *next = p + 4 * length;
        int bottoms = length - 1 - tops, first = next[3] - bottoms;
        if (first > topend + 1)
            runs[n++] = {topend + 1, first - topend - 1, nullptr};
        if (bottoms > 0)
            runs[n++] = {first, bottoms, p + 4 + 4 * tops};
        p = next;
    }
}

uint32_t runcolour(const voxrun &run, int i)
{
    return getle32(run.words + 4 * i) & 0xFFFFFFu;
}

// The columns of a model, row by row, each as its runs.
template <typename visit> void eachcolumn(const voxexport &e, const voxmodel &m, visit v)
{
    voxrun runs[maxruns];
    for (uint32_t y = m.y0; y <= m.y1; y++)
        for (uint32_t x = m.x0; x <= m.x1; x++) {
            size_t size;
            int n = columnruns(columnbytes(*e.map, x, y, &size), runs);
            v(x, y, runs, n);
        }
}

// ---- scan -----------------------------------------------------------------------

void planmodels(voxexport &e)
{
    const exportregion &r = e.options.region;
    for (uint32_t y0 = r.y0; y0 <= r.y1 && y0 >= r.y0; y0 += voxmodelside)
        for (uint32_t x0 = r.x0; x0 <= r.x1 && x0 >= r.x0; x0 += voxmodelside) {
            voxmodel m;
            m.x0 = x0;
            m.y0 = y0;
            m.x1 = std::min<uint32_t>(r.x1, x0 + voxmodelside - 1);
            m.y1 = std::min<uint32_t>(r.y1, y0 + voxmodelside - 1);
            m.voxels = 0;
            e.models.push_back(std::move(m));
        }
}

void scanmodel(const voxexport &e, voxmodel &m)
{
    bool solid = e.options.solid;
    eachcolumn(e, m, [&](uint32_t, uint32_t, const voxrun *runs, int n) {
        uint32_t above = 0;   // colour of the nearest coloured voxel so far (the first run is coloured)
        for (int r = 0; r < n; r++) {
            const voxrun &run = runs[r];
            if (run.words) {
                for (int i = 0; i < run.count; i++)
                    m.colours.push_back(runcolour(run, i));
                above = runcolour(run, run.count - 1);
                m.voxels += uint64_t(run.count);
            } else if (solid) {
                m.fills.push_back({above, uint32_t(run.count)});
                m.voxels += uint64_t(run.count);
            }
        }
    });
}

// The colour set of every model's voxels; the lists are freed as they are counted.
void countcolours(voxexport &e)
{
    startcolourset(&e.colours);
    for (const voxmodel &m : e.models)
        for (uint32_t c : m.colours)
            markcolour(&e.colours, c);
    rankcolours(&e.colours);
    for (voxmodel &m : e.models) {
        for (uint32_t c : m.colours)
            addweight(&e.colours, c, 1);
        for (const auto &[c, count] : m.fills)
            addweight(&e.colours, c, count);
        std::vector<uint32_t>().swap(m.colours);
        std::vector<std::pair<uint32_t, uint32_t>>().swap(m.fills);
    }
}

// ---- write ----------------------------------------------------------------------

// Colour index (1..255) of a colour of the set.
uint8_t colourindex(const voxexport &e, uint32_t rgb)
{
    return uint8_t(e.pal.entry[colourrank(e.colours, rgb)] + 1);
}

// The model's voxels in its own coordinates: i = x - x0, j = y1 - y, k = 255 - z.
void buildmodel(const voxexport &e, voxmodel &m)
{
    m.xyzi.assign(size_t(m.voxels) * 4, 0);
    uint8_t *out = m.xyzi.data();
    bool solid = e.options.solid;
    eachcolumn(e, m, [&](uint32_t x, uint32_t y, const voxrun *runs, int n) {
        uint8_t i = uint8_t(x - m.x0), j = uint8_t(m.y1 - y), index = 0;
        for (int r = 0; r < n; r++) {
            const voxrun &run = runs[r];
            if (!run.words && !solid)
                continue;
            for (int v = 0; v < run.count; v++) {
                if (run.words)
                    index = colourindex(e, runcolour(run, v));
                out[0] = i;
                out[1] = j;
                out[2] = uint8_t(mapheight - 1 - (run.from + v));
                out[3] = index;
                out += 4;
            }
        }
    });
}

void put32(std::vector<uint8_t> &out, uint32_t v)
{
    uint8_t b[4];
    putle32(b, v);
    out.insert(out.end(), b, b + 4);
}

void putstring(std::vector<uint8_t> &out, const std::string &s)
{
    put32(out, uint32_t(s.size()));
    out.insert(out.end(), s.begin(), s.end());
}

typedef std::vector<std::pair<std::string, std::string>> voxdict;

void putdict(std::vector<uint8_t> &out, const voxdict &dict)
{
    put32(out, uint32_t(dict.size()));
    for (const auto &[key, value] : dict) {
        putstring(out, key);
        putstring(out, value);
    }
}

// A chunk without children.
void putchunk(std::vector<uint8_t> &out, const char *id, const std::vector<uint8_t> &content)
{
    out.insert(out.end(), id, id + 4);
    put32(out, uint32_t(content.size()));
    put32(out, 0);
    out.insert(out.end(), content.begin(), content.end());
}

void puttransform(std::vector<uint8_t> &out, int id, const voxdict &attributes, int child, int layer,
                  const voxdict &frame)
{
    std::vector<uint8_t> c;
    put32(c, uint32_t(id));
    putdict(c, attributes);
    put32(c, uint32_t(child));
    put32(c, uint32_t(-1));   // reserved
    put32(c, uint32_t(layer));
    put32(c, 1);              // frames
    putdict(c, frame);
    putchunk(out, "nTRN", c);
}

// The model's translation: its centre, the size halved and rounded down,
// where the voxel (x0, y1, 255) of its corner lands at (x0, 1023 - y1, 0).
std::string translation(const voxmodel &m)
{
    long long sx = m.x1 - m.x0 + 1, sy = m.y1 - m.y0 + 1;
    long long x = m.x0 + sx / 2, y = 1023 - (long long)m.y1 + sy / 2, z = voxmodelside / 2;
    return std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z);
}

// Root transform 0, group 1, then per model a transform and its shape; and the layer.
std::vector<uint8_t> scenegraph(const std::vector<voxmodel> &models)
{
    std::vector<uint8_t> out, c;
    puttransform(out, 0, {}, 1, -1, {});
    put32(c, 1);
    putdict(c, {});
    put32(c, uint32_t(models.size()));
    for (size_t i = 0; i < models.size(); i++)
        put32(c, uint32_t(2 + 2 * i));
    putchunk(out, "nGRP", c);
    for (size_t i = 0; i < models.size(); i++) {
        const voxmodel &m = models[i];
        std::string name = "columns " + std::to_string(m.x0) + ".." + std::to_string(m.x1) + ", " +
                           std::to_string(m.y0) + ".." + std::to_string(m.y1);
        puttransform(out, int(2 + 2 * i), {{"_name", name}}, int(3 + 2 * i), 0, {{"_t", translation(m)}});
        c.clear();
        put32(c, uint32_t(3 + 2 * i));
        putdict(c, {});
        put32(c, 1);   // one model
        put32(c, uint32_t(i));
        putdict(c, {});
        putchunk(out, "nSHP", c);
    }
    c.clear();
    put32(c, 0);
    putdict(c, {});
    put32(c, uint32_t(-1));
    putchunk(out, "LAYR", c);
    return out;
}

std::vector<uint8_t> palettechunk(const palette &pal)
{
    std::vector<uint8_t> c(256 * 4, 0), out;
    for (int e = 0; e < pal.size; e++) {
        c[4 * e] = uint8_t(pal.rgb[e] >> 16);
        c[4 * e + 1] = uint8_t(pal.rgb[e] >> 8);
        c[4 * e + 2] = uint8_t(pal.rgb[e]);
        c[4 * e + 3] = 255;
    }
    putchunk(out, "RGBA", c);
    return out;
}

uint64_t modelbytes(const voxmodel &m)
{
    return 12 + 12 + 12 + 4 + 4 * m.voxels;   // SIZE and XYZI
}

void writechunkhead(safefile &f, const char *id, uint64_t content, uint64_t children)
{
    uint8_t head[12];
    std::memcpy(head, id, 4);
    putle32(head + 4, uint32_t(content));
    putle32(head + 8, uint32_t(children));
    safewrite(f, head, sizeof head);
}

void writemodel(safefile &f, const voxmodel &m)
{
    writechunkhead(f, "SIZE", 12, 0);
    uint8_t size[12];
    putle32(size, m.x1 - m.x0 + 1);
    putle32(size + 4, m.y1 - m.y0 + 1);
    putle32(size + 8, voxmodelside);
    safewrite(f, size, sizeof size);
    writechunkhead(f, "XYZI", 4 + m.xyzi.size(), 0);
    uint8_t count[4];
    putle32(count, uint32_t(m.voxels));
    safewrite(f, count, sizeof count);
    safewrite(f, m.xyzi.data(), m.xyzi.size());
}

// The whole file; false with why (the file left alone) on failure.
bool writefile(voxexport &e, safefile &f, uint64_t *bytes, char *why, size_t whysize)
{
    std::vector<uint8_t> scene = scenegraph(e.models), rgba = palettechunk(e.pal);
    uint64_t children = scene.size() + rgba.size();
    for (const voxmodel &m : e.models)
        children += modelbytes(m);
    if (children > maxmainbytes) {
        std::snprintf(why, whysize, "cannot write %s: %llu bytes of voxels are more than a .vox file holds (2 GB)",
                      e.path, (unsigned long long)children);
        return false;
    }
    uint8_t head[8];
    std::memcpy(head, "VOX ", 4);
    putle32(head + 4, voxversion);
    safewrite(f, head, sizeof head);
    writechunkhead(f, "MAIN", 0, children);
    stage(e, "writing", long(e.models.size()));
    for (size_t first = 0; first < e.models.size(); first += batchmodels) {
        int count = int(std::min<size_t>(batchmodels, e.models.size() - first));
        runparts(e.threads, count, [&](int part) { buildmodel(e, e.models[first + size_t(part)]); });
        for (int i = 0; i < count; i++) {
            voxmodel &m = e.models[first + size_t(i)];
            writemodel(f, m);
            std::vector<uint8_t>().swap(m.xyzi);
            stepprogress(&e.bar);
        }
    }
    safewrite(f, scene.data(), scene.size());
    safewrite(f, rgba.data(), rgba.size());
    *bytes = 8 + 12 + children;
    if (f.error == 0 && f.written != *bytes) {
        std::snprintf(why, whysize, "cannot write %s: %llu bytes written instead of %llu", e.path,
                      (unsigned long long)f.written, (unsigned long long)*bytes);
        return false;
    }
    return true;
}

bool checkregion(const mapfile &map, const exportregion &r, char *why, size_t whysize)
{
    const mapheader &h = map.header;
    if (map.offsets.size() != size_t(h.sizex) * h.sizey + 1) {
        std::snprintf(why, whysize, "the map has not been read and checked");
        return false;
    }
    if (r.x0 > r.x1 || r.y0 > r.y1 || r.x1 >= h.sizex || r.y1 >= h.sizey) {
        std::snprintf(why, whysize, "region %u,%u,%u,%u is empty or outside the map of %u x %u columns", r.x0, r.y0,
                      r.x1, r.y1, h.sizex, h.sizey);
        return false;
    }
    return true;
}

} // namespace

bool exportvox(const mapfile &map, const exportoptions &options, const char *path, voxsummary *summary, char *why,
               size_t whysize)
{
    if (!checkregion(map, options.region, why, whysize))
        return false;
    std::unique_ptr<safefile> file(new safefile());
    if (!safeopen(*file, path)) {
        std::snprintf(why, whysize, "%s", file->message);
        return false;
    }
    std::unique_ptr<voxexport> e(new voxexport());
    e->map = &map;
    e->options = options;
    e->threads = options.threads > 0 ? options.threads : hardwarethreads();
    e->path = path;

    planmodels(*e);
    stage(*e, "reading", long(e->models.size()));
    runparts(e->threads, int(e->models.size()), [&](int part) {
        scanmodel(*e, e->models[size_t(part)]);
        stepprogress(&e->bar);
    });
    uint64_t voxels = 0;
    for (const voxmodel &m : e->models)
        voxels += m.voxels;
    if (voxels > voxwarnvoxels)
        std::fprintf(stderr,
                     "mapexport: warning: %s holds %llu voxels, more than 100 million: voxel editors may be slow "
                     "to open it or refuse it\n",
                     path, (unsigned long long)voxels);
    countcolours(*e);
    makepalette(e->colours, e->threads, &e->pal);

    uint64_t bytes = 0;
    bool ok = writefile(*e, *file, &bytes, why, whysize);
    endprogress(&e->bar);
    if (!ok) {
        safeabort(*file);
        return false;
    }
    if (!safecommit(*file)) {
        std::snprintf(why, whysize, "%s", file->message);
        return false;
    }
    summary->models = int(e->models.size());
    summary->voxels = voxels;
    summary->bytes = bytes;
    summary->distinct = e->colours.rgb.size();
    summary->colours = e->pal.size;
    measurepalette(e->colours, e->pal, &summary->figures);
    return true;
}

bool writevox(const mapfile &map, const exportoptions &options, const char *path, char *why, size_t whysize)
{
    voxsummary s;
    if (!exportvox(map, options, path, &s, why, whysize))
        return false;
    std::printf("wrote %s: %d models, %llu voxels, %llu bytes\n", path, s.models, (unsigned long long)s.voxels,
                (unsigned long long)s.bytes);
    std::printf("palette: %d colours for %llu; ΔE mean %.2f, largest %.2f, 99th percentile %.2f; "
                "%.2f %% of the voxels within ΔE 5\n",
                s.colours, (unsigned long long)s.distinct, s.figures.mean, s.figures.largest, s.figures.p99,
                100 * s.figures.within5);
    return true;
}

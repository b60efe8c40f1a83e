// The .glb writer: tiles built on every thread, then the JSON that
// describes them, then the file in one pass.
#include "glb.h"

#include "atlas.h"
#include "byteorder.h"
#include "glbjson.h"
#include "progress.h"
#include "safefile.h"
#include "workers.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

// The map's direction of each kind of face, and the glTF axes of a map point.
const int facenormal[facedirections][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};

void gltfaxes(const int m[3], int out[3])
{
    out[0] = m[0];
    out[1] = mapheight - m[2];
    out[2] = m[1];
}

// Whether corners 0, 1, 2 of a quad run clockwise seen from the air, so its
// triangles are written the other way round. Worked out once from a quad's
// corners, so the rule cannot drift from quadcorners.
struct windingtable {
    bool flipped[facedirections];
    windingtable()
    {
        tileplace tile = {0, 0, 1, 1};
        for (int d = 0; d < facedirections; d++) {
            surfacequad q = {uint8_t(d), 0, 0, 1, 0, 1, 0};
            int corners[4][3], p[3][3], n[3];
            quadcorners(tile, q, corners);
            for (int c = 0; c < 3; c++)
                gltfaxes(corners[c], p[c]);
            int a[3], b[3];
            for (int k = 0; k < 3; k++)
                a[k] = p[1][k] - p[0][k], b[k] = p[2][k] - p[0][k];
            int cross[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
            gltfaxes(facenormal[d], n);
            n[1] -= mapheight;   // a direction, not a point
            flipped[d] = cross[0] * n[0] + cross[1] * n[1] + cross[2] * n[2] < 0;
        }
    }
};

const windingtable winding;

// Texture coordinate of texel edge `at` of `side` texels as a normalized
// unsigned short, rounded up (a rectangle's first edge) or down (its last).
uint16_t texcoord(int at, int side, bool up)
{
    uint32_t scaled = uint32_t(at) * 65535u;
    return uint16_t(up ? (scaled + side - 1) / side : scaled / side);
}

void keepbounds(glbprimitive *p, const float v[3])
{
    for (int k = 0; k < 3; k++) {
        p->min[k] = std::min(p->min[k], v[k]);
        p->max[k] = std::max(p->max[k], v[k]);
    }
}

// The vertex and index bytes of a tile whose surface and atlas are made.
void buildvertices(const tilesurface &s, const tileatlas &a, const tileplace &place, const exportoptions &o,
                   glbtile *t)
{
    size_t quads = s.quads.size(), stride = glbvertexbytes(o);
    t->vertices.assign(quads * 4 * stride, 0);
    t->indices.assign(quads * 6 * 2, 0);
    for (size_t first = 0; first < quads; first += primitivemaxquads) {
        glbprimitive p;
        p.first = uint32_t(first);
        p.count = uint32_t(std::min<size_t>(primitivemaxquads, quads - first));
        for (int k = 0; k < 3; k++)
            p.min[k] = INFINITY, p.max[k] = -INFINITY;
        for (size_t k = first; k < first + p.count; k++) {
            const surfacequad &q = s.quads[k];
            int corners[4][3];
            quadcorners(place, q, corners);
            const atlasplace &at = a.places[k];
            const int texel[4][2] = {{at.x, at.y}, {at.x + q.runs, at.y}, {at.x + q.runs, at.y + q.rows},
                                     {at.x, at.y + q.rows}};
            for (int c = 0; c < 4; c++) {
                uint8_t *v = &t->vertices[(4 * k + c) * stride];
                int g[3];
                gltfaxes(corners[c], g);
                float pos[3];
                if (o.quantize) {
                    const int local[3] = {g[0] - int(place.x0), g[1], g[2] - int(place.y0)};
                    for (int i = 0; i < 3; i++) {
                        putle16(v + 2 * i, uint16_t(local[i]));
                        pos[i] = float(local[i]);
                    }
                } else {
                    for (int i = 0; i < 3; i++) {
                        pos[i] = float(g[i] * o.scale);
                        putlefloat(v + 4 * i, pos[i]);
                    }
                }
                keepbounds(&p, pos);
                uint8_t *uv = v + stride - 4;
                putle16(uv, texcoord(texel[c][0], a.width, c == 0 || c == 3));
                putle16(uv + 2, texcoord(texel[c][1], a.height, c < 2));
            }
            static const uint8_t order[2][6] = {{0, 1, 2, 0, 2, 3}, {0, 2, 1, 0, 3, 2}};
            const uint8_t *tri = order[winding.flipped[q.dir]];
            uint32_t base = uint32_t(4 * (k - first));
            for (int i = 0; i < 6; i++)
                putle16(&t->indices[(6 * k + i) * 2], uint16_t(base + tri[i]));
        }
        t->primitives.push_back(p);
    }
}

// One tile from the map to its bytes. False when its atlas cannot be made.
bool buildtile(const mapfile &map, const exportoptions &o, const tileplace &place, glbtile *t)
{
    tilesurface s;
    buildsurface(map, o.region, place, &s);
    t->place = place;
    t->quads = uint32_t(s.quads.size());
    std::copy(s.faces, s.faces + facedirections, t->faces);
    if (s.quads.empty())
        return true;
    tileatlas a;
    if (!packatlas(s, &a) || !encodeatlas(s, a, &t->png))
        return false;
    t->atlaswidth = a.width;
    t->atlasheight = a.height;
    buildvertices(s, a, place, o, t);
    return true;
}

// ---- the file --------------------------------------------------------------------

const uint8_t zeros[4] = {0, 0, 0, 0};

void writepadded(safefile &f, const std::vector<uint8_t> &bytes)
{
    safewrite(f, bytes.data(), bytes.size());
    safewrite(f, zeros, glbpadding(bytes.size()));
}

// The 12-byte header, the JSON chunk and the binary chunk.
void writecontainer(safefile &f, const std::string &json, const std::vector<glbtile> &tiles, uint64_t binbytes,
                    uint64_t total)
{
    uint8_t head[20];
    putle32(head, 0x46546C67);   // "glTF"
    putle32(head + 4, 2);
    putle32(head + 8, uint32_t(total));
    putle32(head + 12, uint32_t(json.size()));
    putle32(head + 16, 0x4E4F534A);   // "JSON"
    safewrite(f, head, sizeof head);
    safewrite(f, json.data(), json.size());
    if (binbytes == 0)
        return;
    putle32(head, uint32_t(binbytes));
    putle32(head + 4, 0x004E4942);   // "BIN"
    safewrite(f, head, 8);
    for (const glbtile &t : tiles) {
        writepadded(f, t.vertices);
        writepadded(f, t.indices);
        writepadded(f, t.png);
    }
}

void summary(const char *path, const std::vector<glbtile> &tiles, uint64_t total)
{
    uint64_t quads = 0, faces = 0, texels = 0;
    int meshes = 0;
    for (const glbtile &t : tiles) {
        quads += t.quads;
        meshes += t.quads > 0;
        texels += uint64_t(t.atlaswidth) * t.atlasheight;
        for (uint64_t f : t.faces)
            faces += f;
    }
    std::printf("%s: %llu faces in %llu quads, %d tiles, %llu atlas texels, %llu bytes\n", path,
                (unsigned long long)faces, (unsigned long long)quads, meshes, (unsigned long long)texels,
                (unsigned long long)total);
}

// Everything after the target is open. False with the reason in why; the
// caller then gives the temporary file up.
bool writeopen(const mapfile &map, const exportoptions &options, safefile &file, const char *path, char *why,
               size_t whysize)
{
    std::vector<tileplace> places = regiontiles(options.region);
    std::vector<glbtile> tiles(places.size());
    std::atomic<bool> failed{false}, nomemory{false};
    progress bar;
    if (options.progress)
        startprogress(&bar, std::string(path) + ": meshing", long(places.size()));
    int threads = options.threads > 0 ? options.threads : hardwarethreads();
    runparts(threads, int(places.size()), [&](int part) {
        try {   // nothing may leave a worker thread
            if (!buildtile(map, options, places[part], &tiles[part]))
                failed = true;
        } catch (const std::bad_alloc &) {
            nomemory = true;
        }
        stepprogress(&bar);
    });
    endprogress(&bar);
    if (nomemory)
        throw std::bad_alloc();
    if (failed) {
        std::snprintf(why, whysize, "cannot write %s: a tile's texture atlas would pass %d x %d texels", path,
                      atlasmaxside, atlasmaxside);
        return false;
    }
    uint64_t binbytes = 0;
    std::string json = glbjson(tiles, options, &binbytes);
    uint64_t total = 12 + 8 + json.size() + (binbytes ? 8 + binbytes : 0);
    if (total > 0xFFFFFFFFu) {
        std::snprintf(why, whysize,
                      "cannot write %s: %llu bytes is more than a .glb file can hold (4 GiB); export a smaller --region",
                      path, (unsigned long long)total);
        return false;
    }
    writecontainer(file, json, tiles, binbytes, total);
    if (file.error == 0 && file.written != total) {   // the layout and the bytes disagree: never leave such a file
        std::snprintf(why, whysize, "cannot write %s: %llu bytes written, %llu announced", path,
                      (unsigned long long)file.written, (unsigned long long)total);
        return false;
    }
    if (!safecommit(file)) {
        std::snprintf(why, whysize, "%s", file.message);
        return false;
    }
    summary(path, tiles, total);
    return true;
}

} // namespace

bool writeglb(const mapfile &map, const exportoptions &options, const char *path, char *why, size_t whysize)
{
    // The target first, so a folder that is missing or a device shows at once.
    auto file = std::make_unique<safefile>();
    if (!safeopen(*file, path)) {
        std::snprintf(why, whysize, "%s", file->message);
        return false;
    }
    bool ok = false;
    try {
        ok = writeopen(map, options, *file, path, why, whysize);
    } catch (const std::bad_alloc &) {
        std::snprintf(why, whysize, "cannot write %s: out of memory", path);
    }
    if (!ok)
        safeabort(*file);   // nothing when the commit already gave it up
    return ok;
}

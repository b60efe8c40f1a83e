// The JSON chunk of a .glb, written as text in one pass over the tiles.
#include "glbjson.h"

#include <cstdarg>
#include <cstdio>

namespace {

// glTF's numbers for the things named here.
enum : int {
    gltffloat = 5126,
    gltfushort = 5123,
    gltfarraybuffer = 34962,
    gltfelementbuffer = 34963,
    gltfnearest = 9728,
    gltfclamp = 33071,
};

void add(std::string *out, const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    out->append(text, size_t(n) < sizeof text ? size_t(n) : sizeof text - 1);
}

// Appends a comma before every item but the first of a list.
struct list {
    std::string *out;
    bool first = true;
    void next()
    {
        if (!first)
            out->push_back(',');
        first = false;
    }
};

// The JSON arrays, filled tile by tile.
struct gltfarrays {
    std::string views, accessors, meshes, nodes, materials, textures, images;
    list viewlist{&views}, accessorlist{&accessors}, meshlist{&meshes}, nodelist{&nodes},
        materiallist{&materials}, texturelist{&textures}, imagelist{&images};
    int viewcount = 0, accessorcount = 0, meshcount = 0;
    uint64_t bin = 0;   // bytes of the binary chunk so far
};

// A buffer view of the next size bytes of the binary chunk; returns its index.
int addview(gltfarrays *g, uint64_t size, int stride, int target)
{
    g->viewlist.next();
    add(&g->views, "{\"buffer\":0,\"byteOffset\":%llu,\"byteLength\":%llu", (unsigned long long)g->bin,
        (unsigned long long)size);
    if (stride)
        add(&g->views, ",\"byteStride\":%d", stride);
    if (target)
        add(&g->views, ",\"target\":%d", target);
    g->views += "}";
    g->bin += size + glbpadding(size);
    return g->viewcount++;
}

void addfloats(std::string *out, const char *name, const float v[3])
{
    add(out, ",\"%s\":[%.9g,%.9g,%.9g]", name, double(v[0]), double(v[1]), double(v[2]));
}

// The three accessors of a primitive; returns the first one's index.
int addaccessors(gltfarrays *g, const glbprimitive &p, int vertexview, int indexview, const exportoptions &o)
{
    size_t stride = glbvertexbytes(o);
    unsigned long long at = (unsigned long long)p.first * 4 * stride;
    g->accessorlist.next();
    add(&g->accessors, "{\"bufferView\":%d,\"byteOffset\":%llu,\"componentType\":%d,\"count\":%u,\"type\":\"VEC3\"",
        vertexview, at, o.quantize ? gltfushort : gltffloat, p.count * 4);
    addfloats(&g->accessors, "min", p.min);
    addfloats(&g->accessors, "max", p.max);
    g->accessors += "}";
    g->accessorlist.next();
    add(&g->accessors,
        "{\"bufferView\":%d,\"byteOffset\":%llu,\"componentType\":%d,\"normalized\":true,\"count\":%u,\"type\":\"VEC2\"}",
        vertexview, at + stride - 4, gltfushort, p.count * 4);
    g->accessorlist.next();
    add(&g->accessors, "{\"bufferView\":%d,\"byteOffset\":%llu,\"componentType\":%d,\"count\":%u,\"type\":\"SCALAR\"}",
        indexview, (unsigned long long)p.first * 12, gltfushort, p.count * 6);
    int first = g->accessorcount;
    g->accessorcount += 3;
    return first;
}

void addtile(gltfarrays *g, const glbtile &t, const exportoptions &o)
{
    int vertexview = addview(g, t.vertices.size(), int(glbvertexbytes(o)), gltfarraybuffer);
    int indexview = addview(g, t.indices.size(), 0, gltfelementbuffer);
    int imageview = addview(g, t.png.size(), 0, 0);
    int index = g->meshcount++;
    char name[64];
    std::snprintf(name, sizeof name, "tile %u,%u", t.place.x0, t.place.y0);

    g->meshlist.next();
    add(&g->meshes, "{\"name\":\"%s\",\"primitives\":[", name);
    list primitives{&g->meshes};
    for (const glbprimitive &p : t.primitives) {
        int a = addaccessors(g, p, vertexview, indexview, o);
        primitives.next();
        add(&g->meshes, "{\"attributes\":{\"POSITION\":%d,\"TEXCOORD_0\":%d},\"indices\":%d,\"material\":%d}", a, a + 1,
            a + 2, index);
    }
    g->meshes += "]}";

    g->nodelist.next();
    add(&g->nodes, "{\"name\":\"%s\",\"mesh\":%d", name, index);
    if (o.quantize)
        add(&g->nodes, ",\"translation\":[%.17g,0,%.17g],\"scale\":[%.17g,%.17g,%.17g]", t.place.x0 * o.scale,
            t.place.y0 * o.scale, o.scale, o.scale, o.scale);
    g->nodes += "}";

    g->materiallist.next();
    add(&g->materials,
        "{\"name\":\"%s\",\"pbrMetallicRoughness\":{\"baseColorTexture\":{\"index\":%d},\"metallicFactor\":0,"
        "\"roughnessFactor\":1}%s}",
        name, index, o.unlit ? ",\"extensions\":{\"KHR_materials_unlit\":{}}" : "");
    g->texturelist.next();
    add(&g->textures, "{\"sampler\":0,\"source\":%d}", index);
    g->imagelist.next();
    add(&g->images, "{\"bufferView\":%d,\"mimeType\":\"image/png\"}", imageview);
}

void addextensions(std::string *out, const exportoptions &o)
{
    if (!o.unlit && !o.quantize)
        return;
    *out += ",\"extensionsUsed\":[";
    list used{out};
    if (o.unlit) {
        used.next();
        *out += "\"KHR_materials_unlit\"";
    }
    if (o.quantize) {
        used.next();
        // Positions in integers cannot be read without it.
        *out += "\"KHR_mesh_quantization\"],\"extensionsRequired\":[\"KHR_mesh_quantization\"";
    }
    *out += "]";
}

} // namespace

std::string glbjson(const std::vector<glbtile> &tiles, const exportoptions &o, uint64_t *binbytes)
{
    gltfarrays g;
    for (const glbtile &t : tiles)
        if (t.quads > 0)
            addtile(&g, t, o);
    std::string json = "{\"asset\":{\"version\":\"2.0\",\"generator\":\"voxelkit mapexport\"}";
    json += ",\"scene\":0,\"scenes\":[{\"name\":\"map\"";
    if (g.meshcount > 0) {   // a scene's node list, like every array here, may not be empty
        json += ",\"nodes\":[";
        list scene{&json};
        for (int i = 0; i < g.meshcount; i++) {
            scene.next();
            add(&json, "%d", i);
        }
        json += "]}]";
        addextensions(&json, o);
        json += ",\"nodes\":[" + g.nodes + "],\"meshes\":[" + g.meshes + "],\"materials\":[" + g.materials +
                "],\"textures\":[" + g.textures + "],\"images\":[" + g.images + "]";
        add(&json, ",\"samplers\":[{\"magFilter\":%d,\"minFilter\":%d,\"wrapS\":%d,\"wrapT\":%d}]", gltfnearest,
            gltfnearest, gltfclamp, gltfclamp);
        json += ",\"accessors\":[" + g.accessors + "],\"bufferViews\":[" + g.views + "]";
        add(&json, ",\"buffers\":[{\"byteLength\":%llu}]", (unsigned long long)g.bin);
    } else {
        json += "}]";
    }
    json += "}";
    json.append(glbpadding(json.size()), ' ');
    *binbytes = g.bin;
    return json;
}

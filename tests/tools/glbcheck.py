#!/usr/bin/env python3
"""Independent check of an exported .glb against its map (standard library
and pngread.py; nothing of the writer's): glbcheck.py MAP.gmv FILE.glb
[--region X0,Y0,X1,Y1] [--scale S]. Every side of a solid voxel of the region
that meets air is a face, in the voxel's colour (or, without one, the nearest
coloured voxel's above). The triangles are taken as they come: the area
facing each direction equals the faces looking that way, every face centre
on a triangle is a face whose texel (nearest filtering) is its colour, and
every face is covered. Prints the counts and the box, then "ok"; exits 1
naming the first difference. (voxread.py uses readmap.)
"""
import argparse
import json
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import pngread  # noqa: E402

HEIGHT = 256
# Map directions -x +x -y +y -z (up) +z (down): direction d is along axis d // 2.
DIRECTIONS = [(-1, 0, 0), (1, 0, 0), (0, -1, 0), (0, 1, 0), (0, 0, -1), (0, 0, 1)]
NAMES = ["-x", "+x", "-y", "+y", "-z", "+z"]
COMPONENTS = {5126: "f", 5125: "I", 5123: "H", 5121: "B"}


def fail(text):
    print("FAILED: " + text)
    sys.exit(1)


def readmap(path):
    """(sizex, sizey, columns): each column 256 entries from the top, None for
    air, else (colour, own) for a solid voxel: its own colour, or the nearest
    coloured voxel's above it."""
    data = open(path, "rb").read()
    magic, sizex, sizey = struct.unpack_from("<III", data)
    if magic != 0x09072000:
        fail("%s is not a map" % path)
    pos, columns = 108, []
    for _ in range(sizex * sizey):
        spans = []   # each (length, top start, top end, air start, colours), up to one of length 0
        while not spans or spans[-1][0]:
            length, top, topend, air = data[pos:pos + 4]
            words = length - 1 if length else topend - top + 1
            colours = [c & 0xFFFFFF for c in struct.unpack_from("<%dI" % words, data, pos + 4)]
            spans.append((length, top, topend, air, colours))
            pos += 4 + 4 * words
        voxels, above = [None] * HEIGHT, 0
        for k, (_, top, topend, _, colours) in enumerate(spans):
            bottom = spans[k + 1][3] if k + 1 < len(spans) else HEIGHT   # the next span's air ends this one
            tops, bottoms = colours[:topend - top + 1], colours[topend - top + 1:]
            above = tops[-1] if tops else above
            voxels[top:bottom] = [(above, False)] * (bottom - top)   # between its top and bottom colours
            voxels[top:top + len(tops)] = [(c, True) for c in tops]
            voxels[bottom - len(bottoms):bottom] = [(c, True) for c in bottoms]
            above = bottoms[-1] if bottoms else above
        columns.append(voxels)
    if pos != len(data):
        fail("map has %d bytes after its columns" % (len(data) - pos))
    return sizex, sizey, columns


def expectedfaces(sizex, columns, region):
    """{(direction, x, y, z): colour} for every face of the region; what lies
    outside the region or the map counts as solid."""
    x0, y0, x1, y1 = region

    def voxel(x, y, z):
        return columns[y * sizex + x][z] if x0 <= x <= x1 and y0 <= y <= y1 and 0 <= z < HEIGHT else (0, True)

    faces = {}
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            for z, v in enumerate(columns[y * sizex + x]):
                for d, (dx, dy, dz) in enumerate(DIRECTIONS):
                    if v and voxel(x + dx, y + dy, z + dz) is None:
                        faces[(d, x, y, z)] = v[0]
    return faces


def readglb(path):
    data = open(path, "rb").read()
    magic, version, length, jsonlength, kind = struct.unpack_from("<5I", data)
    if (magic, version, length, kind) != (0x46546C67, 2, len(data), 0x4E4F534A):
        fail("not a glTF 2 binary of %d bytes starting with its JSON" % len(data))
    at = 20 + jsonlength
    binlength, kind = struct.unpack_from("<II", data, at) if at < len(data) else (0, 0x004E4942)
    if kind != 0x004E4942:
        fail("second chunk is not BIN")
    return json.loads(data[20:at]), data[at + 8:at + 8 + binlength]


def accessor(doc, binary, index):
    a = doc["accessors"][index]
    view = doc["bufferViews"][a["bufferView"]]
    code = COMPONENTS[a["componentType"]]
    element = struct.Struct("<%d%s" % ({"SCALAR": 1, "VEC2": 2, "VEC3": 3}[a["type"]], code))
    start = view.get("byteOffset", 0) + a.get("byteOffset", 0)
    values = [element.unpack_from(binary, start + i * view.get("byteStride", element.size)) for i in range(a["count"])]
    return [tuple(c / {"H": 65535, "B": 255}[code] for c in v) for v in values] if a.get("normalized") else values


def texture(doc, binary, material):
    """The material's base-colour image: (width, height, RGBA bytes)."""
    pbr = doc["materials"][material].get("pbrMetallicRoughness", {})
    info = pbr.get("baseColorTexture", {"texCoord": None})
    if pbr.get("baseColorFactor", [1, 1, 1, 1]) != [1, 1, 1, 1] or info.get("texCoord", 0) != 0:
        fail("material %d is not an untinted base-colour texture on TEXCOORD_0" % material)
    t = doc["textures"][info["index"]]
    sampler, image = doc["samplers"][t["sampler"]], doc["images"][t["source"]]
    if (sampler.get("magFilter"), sampler.get("minFilter"), image.get("mimeType")) != (9728, 9728, "image/png"):
        fail("texture %d is not a PNG sampled nearest" % info["index"])
    view = doc["bufferViews"][image["bufferView"]]
    return pngread.decode(binary[view.get("byteOffset", 0):view.get("byteOffset", 0) + view["byteLength"]])


def triangle(corners, uvs, image, expected):
    """Checks a triangle (corners in map coordinates); gives its direction,
    area and the faces whose centres it holds."""
    a, b = ([p[k] - corners[0][k] for k in range(3)] for p in corners[1:])
    # The front side's normal (the map's axes are glTF's turned, not mirrored).
    normal = (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])
    axes = [k for k in range(3) if normal[k]]
    if len(axes) != 1:
        fail("triangle %r is not in a plane of the voxel grid" % (corners,))
    axis = axes[0]
    d = 2 * axis + (normal[axis] > 0)
    u, v = [k for k in range(3) if k != axis]

    def area(p, q, c):   # twice the signed area of p, q and the point c = (u, v)
        return (q[u] - p[u]) * (c[1] - p[v]) - (c[0] - p[u]) * (q[v] - p[v])

    whole = area(corners[1], corners[2], (corners[0][u], corners[0][v]))
    width, height, pixels = image
    faces = []
    # Face centres inside the triangle or on its edges (both halves of a quad
    # then agree on the texel; the area check catches overlaps).
    for i in range(min(p[u] for p in corners), max(p[u] for p in corners)):
        for j in range(min(p[v] for p in corners), max(p[v] for p in corners)):
            w = [area(corners[(k + 1) % 3], corners[(k + 2) % 3], (i + 0.5, j + 0.5)) / whole for k in range(3)]
            if min(w) < 0:
                continue
            tu, tv = (sum(w[k] * uvs[k][n] for k in range(3)) for n in (0, 1))
            o = 4 * (min(int(tv * height), height - 1) * width + min(int(tu * width), width - 1))
            colour = pixels[o] << 16 | pixels[o + 1] << 8 | pixels[o + 2]
            voxel = [0, 0, 0]
            voxel[u], voxel[v] = i, j
            voxel[axis] = corners[0][axis] - (d & 1)   # the solid voxel behind the face
            key = (d, *voxel)
            if key not in expected:
                fail("face %s of voxel %r is not on the map's surface" % (NAMES[d], voxel))
            if colour != expected[key]:
                fail("face %s of voxel %r shows %06X, the voxel is %06X" % (NAMES[d], voxel, colour, expected[key]))
            faces.append(key)
    return d, abs(normal[axis]) / 2, faces


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("map")
    parser.add_argument("glb")
    parser.add_argument("--region", type=lambda s: tuple(int(v) for v in s.split(",")))
    parser.add_argument("--scale", type=float, default=1.0)
    args = parser.parse_args()
    sizex, sizey, columns = readmap(args.map)
    expected = expectedfaces(sizex, columns, args.region or (0, 0, sizex - 1, sizey - 1))
    doc, binary = readglb(args.glb)
    area, covered, images, points, primitives, triangles = [0.0] * 6, set(), {}, [], 0, 0
    for n in doc["scenes"][doc.get("scene", 0)].get("nodes", []):
        node = doc["nodes"][n]
        if {"matrix", "rotation", "children"} & node.keys():
            fail("node %d has a matrix, a rotation or children" % n)
        move, size = node.get("translation", [0, 0, 0]), node.get("scale", [1, 1, 1])
        for primitive in doc["meshes"][node["mesh"]]["primitives"]:
            attributes, material = primitive["attributes"], primitive["material"]
            if primitive.get("mode", 4) != 4 or set(attributes) != {"POSITION", "TEXCOORD_0"}:
                fail("a primitive is not triangles with POSITION and TEXCOORD_0 alone")
            positions = [[move[k] + size[k] * p[k] for k in range(3)]
                         for p in accessor(doc, binary, attributes["POSITION"])]
            uvs = accessor(doc, binary, attributes["TEXCOORD_0"])
            indices = [i[0] for i in accessor(doc, binary, primitive["indices"])]
            images[material] = images.get(material) or texture(doc, binary, material)
            primitives += 1
            points += positions
            # glTF (X, Y, Z) is map (x, 256 - z, y) times the scale; corners lie on whole voxels.
            grid = [(p[0] / args.scale, p[2] / args.scale, HEIGHT - p[1] / args.scale) for p in positions]
            onmap = [tuple(round(c) for c in p) for p in grid]
            if any(abs(c - r) > 1e-3 for p, q in zip(grid, onmap) for c, r in zip(p, q)):
                fail("a vertex of primitive %d is not on the voxel grid" % primitives)
            for k in range(0, len(indices), 3):
                tri = indices[k:k + 3]
                d, a, faces = triangle([onmap[i] for i in tri], [uvs[i] for i in tri], images[material], expected)
                area[d] += a
                covered.update(faces)
                triangles += 1
    for d in range(6):
        want = sum(1 for key in expected if key[0] == d)
        if abs(area[d] - want) > 1e-6:
            fail("faces looking %s: area %g, the map has %d" % (NAMES[d], area[d], want))
    missing = [key for key in expected if key not in covered]
    if missing:
        fail("%d faces missing, the first %s of voxel %r" % (len(missing), NAMES[missing[0][0]], missing[0][1:]))
    print("faces %d primitives %d vertices %d triangles %d images %d" % (len(expected), primitives, len(points),
                                                                         triangles, len(doc.get("images", []))))
    if points:
        print("bbox " + " ".join("%g" % f(p[k] for p in points) for f in (min, max) for k in range(3)))
    print("ok")


if __name__ == "__main__":
    main()

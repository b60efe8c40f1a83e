#!/usr/bin/env python3
"""Independent check of an exported .glb against its map (Python's standard
library and pngread.py only; nothing of the writer's code):

    glbcheck.py MAP.gmv FILE.glb [--region X0,Y0,X1,Y1] [--scale S]

The map is decoded from its published layout. Every solid voxel side that
meets air inside the region is a face; the side's colour is the voxel's
(or, for a solid voxel without one, the nearest coloured voxel's above it).
The .glb is read through its JSON (scene, nodes with translation and scale,
meshes, accessors, buffer views) and its triangles are taken as they come:
  - each triangle's front (counter-clockwise) side gives its direction,
  - the area facing each of the six directions equals the number of faces
    looking that way,
  - every face centre lies on exactly the faces expected, and the texel the
    base-colour texture gives there (nearest filtering) is the face's colour.
Prints the counts and the bounding box and exits 0; exits 1 naming the
first difference.
"""
import json
import os
import struct
import subprocess
import sys
import tempfile

PNGREAD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "pngread.py")
HEIGHT = 256
# Map directions: -x +x -y +y -z (up) +z (down).
DIRECTIONS = [(-1, 0, 0), (1, 0, 0), (0, -1, 0), (0, 1, 0), (0, 0, -1), (0, 0, 1)]
NAMES = ["-x", "+x", "-y", "+y", "-z", "+z"]


def fail(text):
    sys.stderr.write("glbcheck: " + text + "\n")
    print("FAILED: " + text)
    sys.exit(1)


# ---- the map --------------------------------------------------------------

def readmap(path):
    """(sizex, sizey, columns): per column a list of 256 colours, None for air,
    -1 for a solid voxel without a colour."""
    data = open(path, "rb").read()
    magic, sizex, sizey = struct.unpack_from("<III", data, 0)
    if magic != 0x09072000:
        fail("%s is not a map" % path)
    pos = 108
    columns = []
    for _ in range(sizex * sizey):
        voxels = [None] * HEIGHT
        spans = []
        while True:
            length, topstart, topend, airstart = data[pos:pos + 4]
            words = length - 1 if length else topend - topstart + 1
            colours = list(struct.unpack_from("<%dI" % words, data, pos + 4))
            spans.append((length, topstart, topend, airstart, colours))
            pos += 4 + 4 * words
            if length == 0:
                break
        for k, (length, topstart, topend, airstart, colours) in enumerate(spans):
            bottom = spans[k + 1][3] if k + 1 < len(spans) else HEIGHT
            for z in range(topstart, bottom):
                voxels[z] = -1
            tops = topend - topstart + 1
            for i in range(tops):
                voxels[topstart + i] = colours[i] & 0xFFFFFF
            bottoms = colours[tops:]
            for i, c in enumerate(bottoms):
                voxels[bottom - len(bottoms) + i] = c & 0xFFFFFF
        columns.append(voxels)
    if pos != len(data):
        fail("map has %d bytes after its columns" % (len(data) - pos))
    return sizex, sizey, columns


def expectedfaces(sizex, sizey, columns, region):
    """{(direction, x, y, z): colour} for every face of the region."""
    x0, y0, x1, y1 = region
    outside = [0] * HEIGHT   # a column outside the region: all solid, no face toward it

    def column(x, y):
        return columns[y * sizex + x] if x0 <= x <= x1 and y0 <= y <= y1 else outside

    faces = {}
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            voxels = column(x, y)
            sides = [column(x - 1, y), column(x + 1, y), column(x, y - 1), column(x, y + 1)]
            above = 0
            for z in range(HEIGHT):
                v = voxels[z]
                if v is None:
                    continue
                if v >= 0:
                    above = v
                colour = v if v >= 0 else above
                near = [s[z] for s in sides]
                near.append(voxels[z - 1] if z > 0 else 0)
                near.append(voxels[z + 1] if z < HEIGHT - 1 else 0)
                for d in range(6):
                    if near[d] is None:
                        faces[(d, x, y, z)] = colour
    return faces


# ---- the .glb -------------------------------------------------------------

def readglb(path):
    data = open(path, "rb").read()
    magic, version, length = struct.unpack_from("<III", data, 0)
    if magic != 0x46546C67 or version != 2 or length != len(data):
        fail("not a glTF 2 binary of %d bytes" % len(data))
    jsonlength, kind = struct.unpack_from("<II", data, 12)
    if kind != 0x4E4F534A:
        fail("first chunk is not JSON")
    doc = json.loads(data[20:20 + jsonlength])
    binary = b""
    at = 20 + jsonlength
    if at < len(data):
        binlength, kind = struct.unpack_from("<II", data, at)
        if kind != 0x004E4942:
            fail("second chunk is not BIN")
        binary = data[at + 8:at + 8 + binlength]
    return doc, binary


COMPONENTS = {5126: ("f", 4), 5123: ("H", 2), 5121: ("B", 1), 5125: ("I", 4)}
SIZES = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4}


def accessor(doc, binary, index):
    a = doc["accessors"][index]
    view = doc["bufferViews"][a["bufferView"]]
    code, size = COMPONENTS[a["componentType"]]
    n = SIZES[a["type"]]
    stride = view.get("byteStride", size * n)
    start = view.get("byteOffset", 0) + a.get("byteOffset", 0)
    element = struct.Struct("<%d%s" % (n, code))
    values = [element.unpack_from(binary, start + i * stride) for i in range(a["count"])]
    if a.get("normalized"):
        if code != "H":
            fail("accessor %d: normalized but not unsigned short" % index)
        values = [tuple(c / 65535.0 for c in v) for v in values]
    return values


def readimage(doc, binary, index, cache):
    if index in cache:
        return cache[index]
    image = doc["images"][index]
    if image.get("mimeType") != "image/png":
        fail("image %d is not a PNG" % index)
    view = doc["bufferViews"][image["bufferView"]]
    start = view.get("byteOffset", 0)
    with tempfile.TemporaryDirectory() as folder:
        png = os.path.join(folder, "atlas.png")
        raw = os.path.join(folder, "atlas.rgba")
        open(png, "wb").write(binary[start:start + view["byteLength"]])
        result = subprocess.run([sys.executable, PNGREAD, png, raw], capture_output=True, text=True)
        if result.returncode != 0:
            fail("image %d: %s" % (index, result.stderr.strip()))
        width, height = map(int, result.stdout.split())
        pixels = open(raw, "rb").read()
    cache[index] = (width, height, pixels)
    return cache[index]


def texture(doc, binary, material, cache):
    m = doc["materials"][material]
    pbr = m.get("pbrMetallicRoughness", {})
    if pbr.get("baseColorFactor", [1, 1, 1, 1]) != [1, 1, 1, 1]:
        fail("material %d tints its texture" % material)
    info = pbr.get("baseColorTexture")
    if info is None or info.get("texCoord", 0) != 0:
        fail("material %d has no base-colour texture on TEXCOORD_0" % material)
    t = doc["textures"][info["index"]]
    s = doc["samplers"][t["sampler"]]
    if s.get("magFilter") != 9728 or s.get("minFilter") != 9728:
        fail("texture %d is not sampled nearest" % info["index"])
    return readimage(doc, binary, t["source"], cache)


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def tomap(p, scale):
    """glTF point to map coordinates, which must be whole numbers."""
    m = (p[0] / scale, p[2] / scale, HEIGHT - p[1] / scale)
    r = tuple(round(c) for c in m)
    if any(abs(c - k) > 1e-3 for c, k in zip(m, r)):
        fail("vertex %r is not on the voxel grid" % (p,))
    return r


class tally:
    def __init__(self):
        self.area = [0.0] * 6
        self.covered = {}
        self.triangles = 0
        self.vertices = 0
        self.primitives = 0
        self.low = [float("inf")] * 3
        self.high = [float("-inf")] * 3


def triangle(t, m, uvs, image, expected):
    """Adds a triangle (corners in map coordinates): its area to its
    direction, the faces whose centres it holds."""
    a = [m[1][k] - m[0][k] for k in range(3)]
    b = [m[2][k] - m[0][k] for k in range(3)]
    # The map's axes are the glTF axes turned, not mirrored, so the front
    # side's normal comes out the same in either.
    n = cross(a, b)
    axes = [k for k in range(3) if n[k] != 0]
    if len(axes) != 1:
        fail("triangle %r is not in a plane of the voxel grid" % (m,))
    axis = axes[0]
    d = 2 * axis + (1 if n[axis] > 0 else 0)
    t.area[d] += abs(n[axis]) / 2.0
    # Face centres inside the triangle (on an edge counts: both halves of a
    # quad then agree on the texel, and the area check catches overlaps).
    u, v = [k for k in range(3) if k != axis]
    lo = [min(p[u] for p in m), min(p[v] for p in m)]
    hi = [max(p[u] for p in m), max(p[v] for p in m)]
    plane = m[0][axis]
    width, height, pixels = image
    area2 = (m[1][u] - m[0][u]) * (m[2][v] - m[0][v]) - (m[2][u] - m[0][u]) * (m[1][v] - m[0][v])
    for i in range(lo[0], hi[0]):
        for j in range(lo[1], hi[1]):
            c = (i + 0.5, j + 0.5)
            w = []
            for k in range(3):
                p, q = m[(k + 1) % 3], m[(k + 2) % 3]
                w.append(((q[u] - p[u]) * (c[1] - p[v]) - (c[0] - p[u]) * (q[v] - p[v])) / area2)
            if min(w) < 0:
                continue
            tu = sum(w[k] * uvs[k][0] for k in range(3))
            tv = sum(w[k] * uvs[k][1] for k in range(3))
            px, py = min(int(tu * width), width - 1), min(int(tv * height), height - 1)
            o = 4 * (py * width + px)
            colour = pixels[o] << 16 | pixels[o + 1] << 8 | pixels[o + 2]
            voxel = [0, 0, 0]
            voxel[u], voxel[v] = i, j
            voxel[axis] = plane - 1 if d & 1 else plane   # the solid voxel lies behind the face
            key = (d, voxel[0], voxel[1], voxel[2])
            if key not in expected:
                fail("face %s of voxel %r is not on the map's surface" % (NAMES[d], key[1:]))
            if colour != expected[key]:
                fail("face %s of voxel %r shows %06X, the voxel is %06X" % (NAMES[d], key[1:], colour, expected[key]))
            t.covered[key] = True


def walk(doc, binary, scale, expected):
    t = tally()
    cache = {}
    scene = doc["scenes"][doc.get("scene", 0)]
    for nodeindex in scene.get("nodes", []):
        node = doc["nodes"][nodeindex]
        if "matrix" in node or "rotation" in node or "children" in node:
            fail("node %d has a matrix, a rotation or children" % nodeindex)
        move = node.get("translation", [0, 0, 0])
        size = node.get("scale", [1, 1, 1])
        for primitive in doc["meshes"][node["mesh"]]["primitives"]:
            if primitive.get("mode", 4) != 4 or set(primitive["attributes"]) != {"POSITION", "TEXCOORD_0"}:
                fail("a primitive is not triangles with POSITION and TEXCOORD_0 alone")
            positions = [tuple(move[k] + size[k] * p[k] for k in range(3))
                         for p in accessor(doc, binary, primitive["attributes"]["POSITION"])]
            uvs = accessor(doc, binary, primitive["attributes"]["TEXCOORD_0"])
            indices = [i[0] for i in accessor(doc, binary, primitive["indices"])]
            image = texture(doc, binary, primitive["material"], cache)
            t.primitives += 1
            t.vertices += len(positions)
            for k in range(3):
                t.low[k] = min(t.low[k], min(p[k] for p in positions))
                t.high[k] = max(t.high[k], max(p[k] for p in positions))
            points = [tomap(p, scale) for p in positions]
            for k in range(0, len(indices), 3):
                tri = indices[k:k + 3]
                t.triangles += 1
                triangle(t, [points[i] for i in tri], [uvs[i] for i in tri], image, expected)
    return t


def main():
    args = sys.argv[1:]
    region, scale = None, 1.0
    while len(args) > 2:
        if args[-2] == "--region":
            region = tuple(int(v) for v in args[-1].split(","))
        elif args[-2] == "--scale":
            scale = float(args[-1])
        else:
            fail("usage: glbcheck.py MAP.gmv FILE.glb [--region X0,Y0,X1,Y1] [--scale S]")
        args = args[:-2]
    sizex, sizey, columns = readmap(args[0])
    region = region or (0, 0, sizex - 1, sizey - 1)
    expected = expectedfaces(sizex, sizey, columns, region)
    doc, binary = readglb(args[1])
    t = walk(doc, binary, scale, expected)
    for d in range(6):
        want = sum(1 for key in expected if key[0] == d)
        if abs(t.area[d] - want) > 1e-6:
            fail("faces looking %s: area %g, the map has %d" % (NAMES[d], t.area[d], want))
    missing = [key for key in expected if key not in t.covered]
    if missing:
        fail("%d faces missing, the first %s of voxel %r" % (len(missing), NAMES[missing[0][0]], missing[0][1:]))
    print("faces %d" % len(expected))
    print("area " + " ".join("%s %d" % (NAMES[d], t.area[d]) for d in range(6)))
    print("primitives %d vertices %d triangles %d" % (t.primitives, t.vertices, t.triangles))
    if t.primitives:
        print("bbox %g %g %g %g %g %g" % tuple(t.low + t.high))
    print("ok")


main()

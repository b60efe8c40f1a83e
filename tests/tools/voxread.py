#!/usr/bin/env python3
"""An independent reader of MagicaVoxel .vox files for the tests of the writer,
written from the format's public description (the chunk layout, SIZE/XYZI/RGBA,
and the scene graph of nTRN/nGRP/nSHP nodes); Python's standard library only.

    voxread.py FILE.vox EXPECTED.txt

EXPECTED holds one voxel a line, "X Y Z RRGGBB": where it should be in the
file's world and the map's true colour. The reader places every model by its
scene graph (a model's centre, its size halved and rounded down, goes to the
sum of the translations above it), colours each voxel from the palette, and
prints "name value" lines: models, voxels, missing, extra, mismatched (placed
where expected but with another colour), notnearest (its palette colour is not
the palette colour nearest in CIELAB to its true colour) and the CIE 1976
delta E figures mean, largest, within5 (share of the voxels within 5).
A file that breaks the format: a message and exit status 1.
"""
import math
import struct
import sys


def fail(message):
    print("voxread: " + message, file=sys.stderr)
    sys.exit(1)


class cursor:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def int32(self):
        if self.pos + 4 > len(self.data):
            fail("content runs short")
        self.pos += 4
        return struct.unpack_from("<i", self.data, self.pos - 4)[0]

    def string(self):
        n = self.int32()
        self.pos += n
        return self.data[self.pos - n:self.pos].decode()

    def dict(self):
        return {self.string(): self.string() for _ in range(self.int32())}


def chunks(data, pos, end):
    while pos < end:
        if end - pos < 12:
            fail("chunk header past the end at %d" % pos)
        cid = data[pos:pos + 4].decode("latin-1")
        n, m = struct.unpack_from("<ii", data, pos + 4)
        if n < 0 or m < 0 or pos + 12 + n + m > end:
            fail("chunk %s at %d runs past its parent" % (cid, pos))
        yield cid, data[pos + 12:pos + 12 + n], pos + 12 + n, pos + 12 + n + m
        pos += 12 + n + m


def readvox(data):
    if data[:4] != b"VOX " or struct.unpack_from("<i", data, 4)[0] not in (150, 200):
        fail("not a .vox file of version 150 or 200")
    main = list(chunks(data, 8, len(data)))
    if len(main) != 1 or main[0][0] != "MAIN":
        fail("the file is not one MAIN chunk")
    sizes, models, nodes, palette = [], [], {}, None
    for cid, content, _, _ in chunks(data, main[0][2], main[0][3]):
        c = cursor(content)
        if cid == "SIZE":
            sizes.append((c.int32(), c.int32(), c.int32()))
        elif cid == "XYZI":
            if len(models) != len(sizes) - 1:
                fail("XYZI without its SIZE")
            n = c.int32()
            if len(content) != 4 + 4 * n or max(sizes[-1]) > 256:
                fail("XYZI of %d voxels in %d bytes, model size %s" % (n, len(content), sizes[-1]))
            models.append([tuple(content[4 + 4 * i:8 + 4 * i]) for i in range(n)])
        elif cid == "nTRN":
            node, attributes, child, reserved, layer, frames = c.int32(), c.dict(), c.int32(), c.int32(), c.int32(), c.int32()
            frame = c.dict()
            if reserved != -1 or frames != 1 or frame.get("_r", "4") != "4":
                fail("transform %d: reserved %d, %d frames, rotation %s" % (node, reserved, frames, frame.get("_r")))
            nodes[node] = ("T", child, tuple(int(v) for v in frame.get("_t", "0 0 0").split()))
        elif cid == "nGRP":
            node, attributes = c.int32(), c.dict()
            nodes[node] = ("G", [c.int32() for _ in range(c.int32())])
        elif cid == "nSHP":
            node, attributes, count = c.int32(), c.dict(), c.int32()
            if count != 1:
                fail("shape %d holds %d models" % (node, count))
            nodes[node] = ("S", c.int32())
        elif cid == "RGBA":
            palette = [None] + [tuple(content[4 * i:4 * i + 3]) for i in range(255)]   # entry i is index i + 1
    if palette is None:
        fail("no palette")
    placed = {}

    def visit(node, t):
        kind = nodes[node][0]
        if kind == "T":
            visit(nodes[node][1], tuple(a + b for a, b in zip(t, nodes[node][2])))
        elif kind == "G":
            for child in nodes[node][1]:
                visit(child, t)
        else:
            model = nodes[node][1]
            if model in placed:
                fail("model %d placed twice" % model)
            placed[model] = [t[i] - sizes[model][i] // 2 for i in range(3)]

    visit(0, (0, 0, 0))
    if sorted(placed) != list(range(len(models))):
        fail("models placed: %s of %d" % (sorted(placed), len(models)))
    voxels = {}
    for m, corner in placed.items():
        for x, y, z, i in models[m]:
            if x >= sizes[m][0] or y >= sizes[m][1] or z >= sizes[m][2] or i == 0:
                fail("voxel %s outside model %d of size %s or of colour index 0" % ((x, y, z, i), m, sizes[m]))
            key = (corner[0] + x, corner[1] + y, corner[2] + z)
            if key in voxels:
                fail("two voxels at %s" % (key,))
            voxels[key] = palette[i]
    return len(models), voxels, set(palette[1:])


def lab(rgb):
    def linear(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4

    r, g, b = (linear(c) for c in rgb)
    xyz = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b, 0.2126729 * r + 0.7151522 * g + 0.0721750 * b,
           0.0193339 * r + 0.1191920 * g + 0.9503041 * b)
    f = [t ** (1 / 3) if t > (6 / 29) ** 3 else t / (3 * (6 / 29) ** 2) + 4 / 29
         for t in (xyz[0] / 0.95047, xyz[1] / 1.0, xyz[2] / 1.08883)]
    return (116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2]))


def main():
    models, voxels, entries = readvox(open(sys.argv[1], "rb").read())
    expected = {}
    for line in open(sys.argv[2]):
        x, y, z, rgb = line.split()
        expected[(int(x), int(y), int(z))] = tuple(bytes.fromhex(rgb))
    common = expected.keys() & voxels.keys()
    entrylab = {e: lab(e) for e in entries}
    nearest, errors, mismatched, notnearest = {}, [], 0, 0
    for key in common:
        true, got = expected[key], voxels[key]
        if true not in nearest:
            t = lab(true)
            nearest[true] = (t, min(math.dist(t, e) for e in entrylab.values()))
        t, best = nearest[true]
        error = math.dist(t, entrylab[got])
        errors.append(error)
        mismatched += got != true
        notnearest += error > best + 1e-9
    n = max(len(errors), 1)
    figures = [("models", models), ("voxels", len(voxels)), ("missing", len(expected.keys() - voxels.keys())),
               ("extra", len(voxels.keys() - expected.keys())), ("mismatched", mismatched),
               ("notnearest", notnearest), ("mean", sum(errors) / n), ("largest", max(errors, default=0)),
               ("within5", sum(e <= 5 for e in errors) / n)]
    for name, value in figures:
        print(name, repr(value))


main()

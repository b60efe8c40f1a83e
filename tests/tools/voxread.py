#!/usr/bin/env python3
"""An independent reader of MagicaVoxel .vox files, from the format's public
description (chunks, SIZE/XYZI/RGBA, the nTRN/nGRP/nSHP scene graph):
voxread.py MAP.gmv FILE.vox [--region X0,Y0,X1,Y1] [--solid]. Places each
model's centre (its size halved, rounded down) at the sum of the translations
above it and compares the voxels with the region's coloured ones (--solid:
every solid one, in the nearest coloured voxel's colour above) at (x, 1023 -
y, 255 - z). Prints models, voxels, missing, extra, mismatched (another
colour), notnearest (not the palette colour nearest in CIELAB) and the CIE
1976 delta E mean, largest and within5 (the share within 5).
"""
import argparse
import math
import struct

import glbcheck
from glbcheck import fail


class cursor:
    """Reads a chunk's int32s and dictionaries of strings in order."""

    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, n):
        if n < 0 or self.pos + n > len(self.data):
            fail("content runs short")
        self.pos += n
        return self.data[self.pos - n:self.pos]

    def int32(self):
        return struct.unpack("<i", self.take(4))[0]

    def string(self):
        return self.take(self.int32()).decode()

    def dict(self):   # (the key is read before its value)
        return {self.string(): self.string() for _ in range(self.int32())}


def chunks(data, pos, end):
    """(id, content, children's start, end) of each chunk from pos to end."""
    while pos < end:
        n, m = struct.unpack_from("<ii", data, pos + 4) if end - pos >= 12 else (-1, -1)
        if n < 0 or m < 0 or pos + 12 + n + m > end:
            fail("chunk at %d runs past its parent" % pos)
        yield data[pos:pos + 4], data[pos + 12:pos + 12 + n], pos + 12 + n, pos + 12 + n + m
        pos += 12 + n + m


def readvox(data):
    """(models, {(x, y, z): (r, g, b)} in the world, the palette's colours)."""
    if data[:4] != b"VOX " or struct.unpack_from("<i", data, 4)[0] not in (150, 200):
        fail("not a .vox file of version 150 or 200")
    main = list(chunks(data, 8, len(data)))
    if len(main) != 1 or main[0][0] != b"MAIN":
        fail("the file is not one MAIN chunk")
    sizes, models, nodes, palette = [], [], {}, None
    for cid, content, _, _ in chunks(data, main[0][2], main[0][3]):
        c = cursor(content)
        if cid == b"SIZE":
            sizes.append((c.int32(), c.int32(), c.int32()))
        elif cid == b"XYZI":
            n = c.int32()
            if len(models) != len(sizes) - 1 or len(content) != 4 + 4 * n or max(sizes[-1]) > 256:
                fail("XYZI of %d voxels in %d bytes, model sizes %s" % (n, len(content), sizes))
            models.append([tuple(content[4 + 4 * i:8 + 4 * i]) for i in range(n)])
        elif cid == b"nTRN":
            node, _, child, reserved, _, frames = c.int32(), c.dict(), c.int32(), c.int32(), c.int32(), c.int32()
            frame = c.dict()
            if reserved != -1 or frames != 1 or frame.get("_r", "4") != "4":
                fail("transform %d: reserved %d, %d frames, rotation %s" % (node, reserved, frames, frame.get("_r")))
            nodes[node] = ("T", child, tuple(int(v) for v in frame.get("_t", "0 0 0").split()))
        elif cid == b"nGRP":
            node, _ = c.int32(), c.dict()
            nodes[node] = ("G", [c.int32() for _ in range(c.int32())])
        elif cid == b"nSHP":
            node, _, count = c.int32(), c.dict(), c.int32()
            if count != 1:
                fail("shape %d holds %d models" % (node, count))
            nodes[node] = ("S", c.int32())
        elif cid == b"RGBA":
            palette = [None] + [tuple(content[4 * i:4 * i + 3]) for i in range(255)]   # entry i is index i + 1
    if palette is None:
        fail("no palette")
    corners = {}

    def visit(node, t):
        kind, what = nodes[node][:2]
        if kind == "T":
            visit(what, tuple(a + b for a, b in zip(t, nodes[node][2])))
        elif kind == "G":
            for child in what:
                visit(child, t)
        elif what in corners:
            fail("model %d placed twice" % what)
        else:
            corners[what] = [t[i] - sizes[what][i] // 2 for i in range(3)]

    visit(0, (0, 0, 0))
    if sorted(corners) != list(range(len(models))):
        fail("models placed: %s of %d" % (sorted(corners), len(models)))
    voxels = {}
    for m, corner in corners.items():
        for x, y, z, i in models[m]:
            key = (corner[0] + x, corner[1] + y, corner[2] + z)
            if x >= sizes[m][0] or y >= sizes[m][1] or z >= sizes[m][2] or i == 0 or key in voxels:
                fail("voxel %s of model %d: outside %s, colour index 0 or placed twice" % ((x, y, z, i), m, sizes[m]))
            voxels[key] = palette[i]
    return len(models), voxels, set(palette[1:])


def lab(rgb):
    """CIELAB (D65) of an sRGB colour."""
    r, g, b = (c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4 for c in (v / 255 for v in rgb))
    xyz = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b, 0.2126729 * r + 0.7151522 * g + 0.0721750 * b,
           0.0193339 * r + 0.1191920 * g + 0.9503041 * b)
    f = [t ** (1 / 3) if t > (6 / 29) ** 3 else t / (3 * (6 / 29) ** 2) + 4 / 29
         for t in (xyz[0] / 0.95047, xyz[1] / 1.0, xyz[2] / 1.08883)]
    return (116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("map")
    parser.add_argument("vox")
    parser.add_argument("--region", type=lambda s: tuple(int(v) for v in s.split(",")))
    parser.add_argument("--solid", action="store_true")
    args = parser.parse_args()
    models, voxels, entries = readvox(open(args.vox, "rb").read())
    sizex, sizey, columns = glbcheck.readmap(args.map)
    x0, y0, x1, y1 = args.region or (0, 0, sizex - 1, sizey - 1)
    expected = {(x, 1023 - y, 255 - z): tuple(v[0].to_bytes(3, "big"))
                for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)
                for z, v in enumerate(columns[y * sizex + x]) if v and (v[1] or args.solid)}
    entrylab = {e: lab(e) for e in entries}
    nearest, errors, mismatched, notnearest = {}, [], 0, 0
    for key in expected.keys() & voxels.keys():
        true, got = expected[key], voxels[key]
        if true not in nearest:
            nearest[true] = min(math.dist(lab(true), e) for e in entrylab.values())
        errors.append(math.dist(lab(true), entrylab[got]))
        mismatched += got != true
        notnearest += errors[-1] > nearest[true] + 1e-9
    n = max(len(errors), 1)
    for name, value in [("models", models), ("voxels", len(voxels)), ("missing", len(expected.keys() - voxels.keys())),
                        ("extra", len(voxels.keys() - expected.keys())), ("mismatched", mismatched),
                        ("notnearest", notnearest), ("mean", sum(errors) / n), ("largest", max(errors, default=0)),
                        ("within5", sum(e <= 5 for e in errors) / n)]:
        print(name, repr(value))


main()

#!/usr/bin/env python3
"""shrinkpng.py IN.png OUT.png [--crop X,Y,W,H] [--scale K] [--repeat K]:
the same picture, smaller, for the docs.

Reads an 8-bit RGBA PNG whose alpha is 255 everywhere (as txtool render
writes it), and writes it as 8-bit RGB with a row filter chosen per row and
zlib compression at level 9. Uses only zlib and struct. Options, in this
order: --crop keeps a W x H part from (X, Y); --scale makes it K times
smaller, each pixel the rounded mean of a K x K square; --repeat lays it
out K x K times (a seamless tile shows no seams).
"""
import struct
import sys
import zlib


def fail(text):
    sys.stderr.write("shrinkpng: " + text + "\n")
    sys.exit(1)


def readrgba(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("%s: no PNG signature" % path)
    pos, idat, header = 8, b"", None
    while pos + 12 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if header is None or header[2:] != (8, 6, 0, 0, 0):
        fail("%s: not an 8-bit RGBA image without interlace" % path)
    width, height = header[0], header[1]
    raw = zlib.decompress(idat)
    stride = 4 * width
    rows = []
    for y in range(height):
        start = y * (stride + 1)
        if raw[start] != 0:
            fail("%s: rows with filters other than None are not expected" % path)
        row = raw[start + 1:start + 1 + stride]
        if any(row[i] != 255 for i in range(3, stride, 4)):
            fail("%s: the image is not opaque" % path)
        rows.append(bytes(b for i, b in enumerate(row) if i % 4 != 3))
    return width, height, rows


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filtered(kind, row, prev):
    out = bytearray([kind])
    for i, x in enumerate(row):
        a = row[i - 3] if i >= 3 else 0
        b = prev[i]
        c = prev[i - 3] if i >= 3 else 0
        predictor = (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]
        out.append((x - predictor) & 255)
    return bytes(out)


def cost(line):
    return sum(v if v < 128 else 256 - v for v in line[1:])


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def crop(width, height, rows, box):
    x, y, w, h = (int(v) for v in box.split(","))
    if x < 0 or y < 0 or w < 1 or h < 1 or x + w > width or y + h > height:
        fail("--crop %s lies outside the %d x %d picture" % (box, width, height))
    return w, h, [row[3 * x:3 * (x + w)] for row in rows[y:y + h]]


def scale(width, height, rows, k):
    if k < 1 or width % k or height % k:
        fail("--scale %d does not divide %d x %d" % (k, width, height))
    out = []
    for y in range(0, height, k):
        sums = [0] * (3 * (width // k))
        for row in rows[y:y + k]:
            for i, v in enumerate(row):
                sums[(i // (3 * k)) * 3 + i % 3] += v
        out.append(bytes((s + k * k // 2) // (k * k) for s in sums))
    return width // k, height // k, out


def repeat(width, height, rows, k):
    return k * width, k * height, [row * k for _ in range(k) for row in rows]


def main():
    args = sys.argv[1:]
    if len(args) < 2 or len(args) % 2:
        fail("usage: shrinkpng.py IN.png OUT.png [--crop X,Y,W,H] [--scale K] [--repeat K]")
    options = dict(zip(args[2::2], args[3::2]))
    if set(options) - {"--crop", "--scale", "--repeat"}:
        fail("unknown option in %s" % " ".join(args[2::2]))
    width, height, rows = readrgba(args[0])
    if "--crop" in options:
        width, height, rows = crop(width, height, rows, options["--crop"])
    if "--scale" in options:
        width, height, rows = scale(width, height, rows, int(options["--scale"]))
    if "--repeat" in options:
        width, height, rows = repeat(width, height, rows, int(options["--repeat"]))
    prev = bytes(3 * width)
    data = b""
    for row in rows:
        data += min((filtered(k, row, prev) for k in range(5)), key=cost)
        prev = row
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(data, 9))
    png += chunk(b"IEND", b"")
    open(args[1], "wb").write(png)


main()

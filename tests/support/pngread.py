#!/usr/bin/env python3
"""Independent PNG reader for the tests: pngread.py IN.png OUT.rgba

Checks the signature, every chunk's CRC, the IHDR fields (8-bit RGBA, no
interlace), that IEND ends the file, inflates the IDAT data with zlib (which
checks the Adler-32) and undoes the row filters. Writes the pixels as raw
R, G, B, A bytes and prints "WIDTH HEIGHT". Exits 1 with a message on any fault.
"""
import struct
import sys
import zlib


def fail(text):
    sys.stderr.write("pngread: " + text + "\n")
    sys.exit(1)


def chunks(data):
    pos = 8
    while pos < len(data):
        if pos + 12 > len(data):
            fail("chunk header cut at %d" % pos)
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if len(body) != length or pos + 12 + length > len(data):
            fail("chunk %r cut" % kind)
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if zlib.crc32(kind + body) & 0xFFFFFFFF != crc:
            fail("bad CRC in chunk %r" % kind)
        yield kind, body
        pos += 12 + length


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def unfilter(raw, width, height):
    stride = 4 * width
    out = bytearray()
    prev = bytearray(stride)
    pos = 0
    for _ in range(height):
        kind = raw[pos]
        if kind > 4:
            fail("unknown filter %d" % kind)
        row = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride if kind != 0 else 0):
            a = row[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                row[i] = (row[i] + a) & 255
            elif kind == 2:
                row[i] = (row[i] + b) & 255
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 255
            elif kind == 4:
                row[i] = (row[i] + paeth(a, b, c)) & 255
        out += row
        prev = row
    return bytes(out)


def decode(data):
    """(width, height, RGBA bytes) of a whole PNG file's bytes."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("no PNG signature")
    found = list(chunks(data))
    if not found or found[0][0] != b"IHDR":
        fail("IHDR is not first")
    if found[-1] != (b"IEND", b""):
        fail("IEND is not last")
    width, height, depth, colour, comp, filt, inter = struct.unpack(">IIBBBBB", found[0][1])
    if (depth, colour, comp, filt, inter) != (8, 6, 0, 0, 0):
        fail("not 8-bit RGBA without interlace")
    stream = zlib.decompressobj()
    raw = stream.decompress(b"".join(body for kind, body in found if kind == b"IDAT"))
    if not stream.eof or stream.unused_data:
        fail("zlib stream does not end where the IDAT data ends")
    if len(raw) != height * (1 + 4 * width):
        fail("%d bytes of image data, expected %d" % (len(raw), height * (1 + 4 * width)))
    return width, height, unfilter(raw, width, height)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        fail("usage: pngread.py IN.png OUT.rgba")
    width, height, pixels = decode(open(sys.argv[1], "rb").read())
    open(sys.argv[2], "wb").write(pixels)
    print(width, height)

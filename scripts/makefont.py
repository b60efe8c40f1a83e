#!/usr/bin/env python3
"""Make the designer's 6 x 8 code page 437 font table, font.cpp.

    python3 scripts/makefont.py -o pelmora/core/font.cpp [--preview /tmp/font.png]

Standard library only. Codes 0, 32 and 255 are blank; every other glyph comes
from the first of these that has it:
  1. drawn      the pictures in DRAWN below (wins over everything else);
  2. lines      box drawing (0xB3..0xDA), shades and blocks (0xB0..0xB2,
                0xDB..0xDF), made geometrically so that they join across cells;
  3. composed   a lower-case letter (or C) from the clean font with an accent
                from MARKS, after the character's Unicode decomposition;
  4. clean      Schumacher Clean 6x8 (clR6x8), the printable ASCII: its cell is
                ours, capitals on rows 0..6, x-height rows 2..6, descenders row 7;
  5. fixed      the X11 "fixed" 6x10 font, moved up one row and right one column
                (its capitals stand on rows 1..7, its empty column is the last),
                taken only when the moved glyph fits the 6 x 8 cell.
Both fonts are read from Debian's xfonts-base, so the same package version gives
the same bytes.

Box drawing: a single line runs through column 3 or row 3; a double line is two
single lines one pixel either side of it (columns 2 and 4, rows 2 and 4).
"""

import argparse, gzip, os, struct, sys, unicodedata, zlib

FONTDIR = '/usr/share/fonts/X11/misc/'
CLEAN = 'clR6x8.pcf.gz'
FIXED = '6x10.pcf.gz'
LICENCE = '''\
Printable ASCII from Schumacher Clean 6x8 (clR6x8), Debian xfonts-base:
  Copyright 1989 Dale Schumacher, dal@syntel.mn.org
                 399 Beacon Ave.
                 St. Paul, MN  55104-3527

  Permission to use, copy, modify, and distribute this software and its
  documentation for any purpose and without fee is hereby granted, provided
  that the above copyright notice appear in all copies and that both that
  copyright notice and this permission notice appear in supporting
  documentation, and that the name of Dale Schumacher not be used in
  advertising or publicity pertaining to distribution of the software without
  specific, written prior permission.  Dale Schumacher makes no
  representations about the suitability of this software for any purpose.  It
  is provided "as is" without express or implied warranty.
Further glyphs from the X11 "fixed" 6x10 font (6x10), Debian xfonts-base:
  "Public domain font.  Share and enjoy."'''

W, H = 6, 8

# Code page 437's symbols for the control codes 1..31 and 127; 128..255 come
# from Python's cp437 codec.
SYMBOLS = ('☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼')


def unicodeof(code):
    if 1 <= code <= 31:
        return SYMBOLS[code - 1]
    if code == 127:
        return '⌂'
    return bytes([code]).decode('cp437')


# --- glyphs as 6 column bytes (bit r = row r) --------------------------------

def blank():
    return [0] * W


def setpixel(g, row, col):
    g[col] |= 1 << row


def pixel(g, row, col):
    return g[col] >> row & 1


def picture(rows):
    """8 strings of 6 characters ('#' set) to a glyph."""
    assert len(rows) == H and all(len(r) == W for r in rows), rows
    g = blank()
    for r, line in enumerate(rows):
        for c, ch in enumerate(line):
            if ch == '#':
                setpixel(g, r, c)
    return g


def pictures(block):
    """A block of pictures side by side: a line of hex codes, then 8 lines of
    6-character pictures, one per code."""
    glyphs = {}
    lines = [l.split() for l in block.splitlines() if l.strip()]
    for i in range(0, len(lines), H + 1):
        codes = [int(c, 16) for c in lines[i]]
        for k, code in enumerate(codes):
            glyphs[code] = picture([lines[i + 1 + r][k] for r in range(H)])
    return glyphs


# --- PCF reader --------------------------------------------------------------

ACCELERATORS, METRICS, BITMAPS, ENCODINGS = 2, 4, 8, 32


def readpcf(path):
    """Return (font ascent, {code point: (left bearing, ascent, rows)}) where
    rows is a list of sets of the set columns of each bitmap row."""
    try:
        with gzip.open(path) as f:
            data = f.read()
    except OSError as e:
        sys.exit('makefont: cannot read %s: %s (Debian package xfonts-base)' % (path, e))
    if data[:4] != b'\x01fcp':
        sys.exit('makefont: %s is not a PCF font' % path)
    try:
        return parsepcf(data)
    except (struct.error, KeyError, IndexError) as e:
        sys.exit('makefont: %s is damaged: %s' % (path, e))


def parsepcf(data):
    count, = struct.unpack_from('<i', data, 4)
    tables = {}
    for i in range(count):
        kind, _, _, offset = struct.unpack_from('<iiii', data, 8 + 16 * i)
        tables[kind] = offset

    def table(kind):
        # Each table starts with its format word: bit 2 set = big-endian.
        offset = tables[kind]
        fmt, = struct.unpack_from('<i', data, offset)
        return offset + 4, fmt, '>' if fmt & 4 else '<'

    pos, fmt, e = table(ACCELERATORS)
    ascent, = struct.unpack_from(e + 'i', data, pos + 8)

    pos, fmt, e = table(METRICS)
    metrics = []
    if fmt & 0x100:                      # compressed: bytes biased by 0x80
        n, = struct.unpack_from(e + 'h', data, pos)
        for i in range(n):
            metrics.append([b - 0x80 for b in data[pos + 2 + 5 * i: pos + 7 + 5 * i]])
    else:
        n, = struct.unpack_from(e + 'i', data, pos)
        for i in range(n):
            metrics.append(list(struct.unpack_from(e + '5h', data, pos + 4 + 12 * i)))

    pos, fmt, e = table(BITMAPS)
    n, = struct.unpack_from(e + 'i', data, pos)
    offsets = struct.unpack_from(e + '%di' % n, data, pos + 4)
    bits = pos + 4 + 4 * n + 16
    pad = 1 << (fmt & 3)
    msbfirst = bool(fmt & 8)
    glyphs = []
    for i in range(n):
        left, right, _, gascent, gdescent = metrics[i]
        stride = ((right - left + 7) // 8 + pad - 1) // pad * pad
        rows = []
        for y in range(gascent + gdescent):
            start = bits + offsets[i] + y * stride
            cols = set()
            for x in range(right - left):
                byte = data[start + x // 8]
                if byte >> (7 - x % 8 if msbfirst else x % 8) & 1:
                    cols.add(x)
            rows.append(cols)
        glyphs.append((left, gascent, rows))

    pos, fmt, e = table(ENCODINGS)
    min2, max2, min1, max1, _ = struct.unpack_from(e + '5h', data, pos)
    span = max2 - min2 + 1
    indices = struct.unpack_from(e + '%dH' % (span * (max1 - min1 + 1)), data, pos + 10)
    chars = {}
    for k, index in enumerate(indices):
        if index != 0xFFFF:
            chars[(min1 + k // span) * 256 + min2 + k % span] = glyphs[index]
    return ascent, chars


def fromfont(font, ch, down, right):
    """The font's glyph for ch moved by (down, right) in its cell, or None when
    the font lacks it or it leaves our 6 x 8 cell."""
    ascent, chars = font
    if ord(ch) not in chars:
        return None
    left, gascent, rows = chars[ord(ch)]
    g = blank()
    for y, cols in enumerate(rows):
        for x in cols:
            r, c = ascent - gascent + y + down, left + x + right
            if not (0 <= r < H and 0 <= c < W):
                return None
            setpixel(g, r, c)
    return g


# --- accented letters --------------------------------------------------------

# Accents above sit on rows 0..1 over the x-height (rows 2..6); the cedilla on
# row 7.  Composing clears the base's pixels on the accent's rows (the dot of i).
MARKS = {
    '\u0300': ['..#...', '...#..'],    # grave
    '\u0301': ['....#.', '...#..'],    # acute
    '\u0302': ['...#..', '..#.#.'],    # circumflex
    '\u0303': ['..##.#', '.#..#.'],    # tilde
    '\u0308': ['..#.#.', '......'],    # diaeresis
    '\u0327': ['..##..'],              # cedilla
}


def composed(clean, ch):
    parts = unicodedata.decomposition(ch).split()
    if len(parts) != 2 or parts[0].startswith('<'):
        return None
    base, mark = chr(int(parts[0], 16)), chr(int(parts[1], 16))
    if mark not in MARKS or not (base.islower() or mark == '\u0327'):
        return None
    g = fromfont(clean, base, 0, 0)
    if g is None:
        return None
    rows = MARKS[mark]
    first = H - 1 if len(rows) == 1 else 0
    for k, line in enumerate(rows):
        for c in range(W):
            g[c] &= ~(1 << (first + k))
            if line[c] == '#':
                setpixel(g, first + k, c)
    return g


# --- box drawing, shades and blocks -----------------------------------------

MID = 3                      # the single line's column and row


def boxarms(ch):
    """Weights (0 none, 1 single, 2 double) of the arms up, down, left, right,
    read from the character's Unicode name, e.g. 'BOX DRAWINGS DOWN SINGLE AND
    LEFT DOUBLE', 'BOX DRAWINGS LIGHT VERTICAL', 'BOX DRAWINGS DOUBLE UP AND LEFT'."""
    words = unicodedata.name(ch).split()[2:]
    weights = {'LIGHT': 1, 'SINGLE': 1, 'DOUBLE': 2}
    default = 0
    if words[0] in weights:
        default = weights[words.pop(0)]
    arms = {'UP': 0, 'DOWN': 0, 'LEFT': 0, 'RIGHT': 0}
    spread = {'VERTICAL': ('UP', 'DOWN'), 'HORIZONTAL': ('LEFT', 'RIGHT')}
    for part in ' '.join(words).split(' AND '):
        where, *weight = part.split()
        w = weights[weight[0]] if weight else default
        for arm in spread.get(where, (where,)):
            arms[arm] = w
    return arms['UP'], arms['DOWN'], arms['LEFT'], arms['RIGHT']


def boxglyph(ch):
    """A double arm is a band three pixels wide from its edge to the far line
    of what crosses it, its middle cleared except at a closed end; a single arm
    is one line from its edge to the middle, or to the near line of a double
    crossing.  Single lines are drawn last, so a single line crossing a double
    one stops at it on both sides."""
    up, down, left, right = boxarms(ch)
    offv = 1 if max(up, down) == 2 else 0      # half width of what runs up/down
    offh = 1 if max(left, right) == 2 else 0
    # weight, vertical, starts at the top/left edge, opposite arm, crossing half width
    arms = [(up, True, True, down, offh), (down, True, False, up, offh),
            (left, False, True, right, offv), (right, False, False, left, offv)]
    bands, middles, lines = [], [], []
    for weight, vertical, atstart, opposite, cross in arms:
        if weight == 0:
            continue
        end = H - 1 if vertical else W - 1
        if weight == 2 and opposite:
            stop = end if atstart else 0
        elif weight == 2:
            stop = MID + cross if atstart else MID - cross
        else:
            stop = MID - cross if atstart else MID + cross
        lo, hi = (0, stop) if atstart else (stop, end)
        place = (lambda a, x: (a, x)) if vertical else (lambda a, x: (x, a))
        for along in range(lo, hi + 1):
            if weight == 1:
                lines.append(place(along, MID))
                continue
            bands += [place(along, MID + k) for k in (-1, 0, 1)]
            if opposite or along != stop:
                middles.append(place(along, MID))
    g = blank()
    for r, c in bands:
        setpixel(g, r, c)
    for r, c in middles:
        g[c] &= ~(1 << r)
    for r, c in lines:
        setpixel(g, r, c)
    return g


# Shades tile with period 2 across and 4 down (6 and 8 are multiples).
def lightshade(r, c):
    return r % 2 == 0 and (c + r // 2) % 2 == 0


FILLS = {
    0xB0: lightshade,
    0xB1: lambda r, c: (r + c) % 2 == 0,
    0xB2: lambda r, c: not lightshade(r, c),
    0xDB: lambda r, c: True,
    0xDC: lambda r, c: r >= H // 2,
    0xDD: lambda r, c: c < W // 2,
    0xDE: lambda r, c: c >= W // 2,
    0xDF: lambda r, c: r < H // 2,
}


def lineglyph(code):
    if code in FILLS:
        g = blank()
        for r in range(H):
            for c in range(W):
                if FILLS[code](r, c):
                    setpixel(g, r, c)
        return g
    if 0xB3 <= code <= 0xDA:
        return boxglyph(unicodeof(code))
    return None


# --- drawn glyphs ------------------------------------------------------------

DRAWN = pictures("""
 41     30     67     7C     5F     01     02     04     08     0A     0B     0C
..###. ..###. ...... ...#.. ...... ..###. ..###. ...... ###### ###### ...### ..###.
.#...# .#...# ...... ...#.. ...... .#...# .##### ...#.. ###### ###### ....## .#...#
.#...# .#..## ..#### ...#.. ...... .##.## .#.#.# ..###. ###..# ##...# ..##.# .#...#
.#...# .#.#.# .#...# ...... ...... .#...# .##### .##### ##.... #.###. .#..#. ..###.
.##### .##..# .#...# ...#.. ...... .#.#.# .##.## ..###. ##.... #.###. .#..#. ...#..
.#...# .#...# ..#### ...#.. ...... .#...# .##### ...#.. ###..# #.###. ..##.. .#####
.#...# ..###. .....# ...#.. ...... ..###. ..###. ...... ###### ##...# ...... ...#..
...... ...... ..###. ...... ###### ...... ...... ...... ###### ###### ...... ......

 0F     10     11     16     17     1A     1B     1D     86     8E
...#.. .#.... .....# ...... ...#.. ...... ...... ...... ...#.. .#...#
.#.#.# .##... ....## ...... ..###. ...#.. ..#... ...... ..#.#. ..###.
..###. .###.. ...### ...... .#.#.# ....#. .#.... ..#.#. ...#.. .#...#
.##.## .####. ..#### ...... ...#.. .##### .##### .##### ..#### .#...#
..###. .###.. ...### .##### .#.#.# ....#. .#.... ..#.#. .#...# .#####
.#.#.# .##... ....## .##### ..###. ...#.. ..#... ...... .#..## .#...#
...#.. .#.... .....# .##### ...#.. ...... ...... ...... ..##.# .#...#
...... ...... ...... ...... .##### ...... ...... ...... ...... ......

 8F     90     91     92     99     9A     9E     A5     AB     AC
...#.. ....#. ...... ..#### .#...# ..#.#. .##... ..##.# .#...# .#...#
..#.#. .##### ...... .#.#.. ..###. ...... .#.#.. .#..#. .#..#. .#..#.
...#.. .#.... .##.#. .#.#.. .#...# .#...# .##.#. .#...# .#.#.. .#.#..
..###. .####. ...#.# .####. .#...# .#...# .#.### .##..# ..#... ..#...
.#...# .#.... .##### .#.#.. .#...# .#...# .#..#. .#.#.# .#.##. .#.#.#
.##### .#.... .#.#.. .#.#.. .#...# .#...# .#..#. .#..## .....# ...#.#
.#...# .##### .##.## .#.### ..###. ..###. .#...# .#...# ....#. ...###
...... ...... ...... ...... ...... ...... ...... ...... ...### .....#

 AE     AF     ED     F4     F5     FB     FD     3C     3E
...... ...... ...... ....#. ...#.. ....## ..##.. ...... ......
...... ...... ...#.. ...#.# ...#.. ....#. ....#. ....## .##...
..#..# .#..#. ..###. ...#.. ...#.. ....#. ...#.. ..##.. ...##.
.#..#. ..#..# .#.#.# ...#.. ...#.. ....#. ..###. .#.... .....#
..#..# .#..#. .#.#.# ...#.. ...#.. .#..#. ...... ..##.. ...##.
...... ...... .#.#.# ...#.. ...#.. ..#.#. ...... ....## .##...
...... ...... ..###. ...#.. .#.#.. ...#.. ...... ...... ......
...... ...... ...#.. ...#.. ..#... ...... ...... ...... ......
""")

# Glyphs that may fill column 0 so that neighbours join (◘ and ◙ are
# inverted cells).
JOINING = set(range(0xB0, 0xE0)) | {ord('_'), 0x08, 0x0A}


BLANKS = (0, 32, 255)


def makefont():
    """The 256 glyphs and, for each, the word saying how it was made."""
    clean = readpcf(FONTDIR + CLEAN)
    fixed = readpcf(FONTDIR + FIXED)
    makers = [
        ('drawn', lambda code, ch: DRAWN.get(code)),
        ('lines', lambda code, ch: lineglyph(code)),
        ('composed', lambda code, ch: composed(clean, ch)),
        ('clean', lambda code, ch: fromfont(clean, ch, 0, 0)),
        ('fixed', lambda code, ch: fromfont(fixed, ch, -1, 1)),
    ]
    table, made = [], []
    for code in range(256):
        g, how = (blank(), 'blank') if code in BLANKS else (None, 'missing')
        for name, make in makers:
            if g is None:
                g, how = make(code, unicodeof(code)), name
        table.append(g)
        made.append(how)
    return table, made


# --- preview -----------------------------------------------------------------

SAMPLES = [
    "Pelmora Generator by Yorvath '2003.09.01",
    "Hold LMB or RMB and change weight.",
    "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)",
    "{[()]}<>=+-*/%^&|!~?:;.,'\"_",
    "The quick brown fox jumps over the lazy dog. 0123456789",
    "┌─┬─┐ ╔═╦═╗ ╒═╤═╕ ╓─╥─╖ ░░▒▒▓▓██ ⌠",
    "│ │ │ ║ ║ ║ │ │ │ ║ ║ ║ ▄▄▀▀▌▐▌▐ ⌡",
    "├─┼─┤ ╠═╬═╣ ╞═╪═╡ ╟─╫─╢ ░▒▓█▄▀▌▐",
    "└─┴─┘ ╚═╩═╝ ╘═╧═╛ ╙─╨─╜ ≡±≥≤÷≈°√ⁿ²■∙·",
    "Café à la crème, naïve señor: Ärger, Öl, Übel, École, Ñandú, Åse",
    "ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»",
    "αßΓπΣσµτΦΘΩδ∞φε∩ ☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼⌂",
]


def pngbytes(width, height, grey):
    """An 8-bit grey PNG; grey(x, y) gives each pixel."""
    raw = b''.join(b'\0' + bytes(grey(x, y) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data)))
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 0, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def preview(table, scale=4):
    """All 256 glyphs, 16 to a row on cells of alternating grey, then the
    sample lines white on black."""
    cp437 = {unicodeof(c): c for c in range(1, 256)}
    lines = [[c + 16 * r for c in range(16)] for r in range(16)]
    lines += [[]] + [[cp437.get(ch, ord('?')) for ch in text] for text in SAMPLES]
    width = max(len(l) for l in lines) * W

    def grey(x, y):
        x, y = x // scale, y // scale
        line, row = divmod(y, H)
        cells = lines[line]
        if x // W >= len(cells):
            return 0
        code = cells[x // W]
        if pixel(table[code], row, x % W):
            return 255
        if line < 16:
            return 60 if (line + x // W) % 2 else 100
        return 0
    return pngbytes(width * scale, len(lines) * H * scale, grey)


# --- the C++ table -----------------------------------------------------------

def charname(code):
    ch = unicodeof(code)
    shown = "'%s' " % ch if ch.isprintable() and not ch.isspace() else ''
    return shown + unicodedata.name(ch, 'NULL')


def cpptable(table, made):
    out = ['// The designer\'s 6 x 8 font: 256 glyphs in code page 437 order.',
           '// Byte j of a glyph is column j (left to right), bit r is row r (0 at the top).',
           '//',
           '// Generated by makefont.py from the fonts below; do not edit. The same',
           '// command gives the same bytes (from the repository root):',
           '//     python3 scripts/makefont.py -o pelmora/core/font.cpp',
           '// The word after each glyph\'s name says how it was made: drawn by hand;',
           '// lines (box drawing, shades and blocks: single lines on column 3 and row 3,',
           '// double lines on columns 2 and 4 and rows 2 and 4, so neighbours join);',
           '// composed (a letter of the clean font with an accent); clean or fixed',
           '// (converted from the font of that name).',
           '//']
    out += ['// ' + line if line else '//' for line in LICENCE.splitlines()]
    out += ['', '#include "font.h"', '', 'const uint8_t fonttable[256][6] = {']
    for code in range(256):
        cols = ', '.join('0x%02X' % b for b in table[code])
        out.append('    {%s}, // 0x%02X %s, %s' % (cols, code, charname(code), made[code]))
    out += ['};', '']
    return '\n'.join(out)


def check(table):
    """Every glyph there, blank only where meant, column 0 kept free."""
    faults = []
    for code, g in enumerate(table):
        if g is None:
            faults.append('0x%02X has no glyph' % code)
        elif (not any(g)) != (code in BLANKS):
            faults.append('0x%02X is %sblank' % (code, '' if not any(g) else 'not '))
        elif g[0] and code not in JOINING:
            faults.append('0x%02X reaches into column 0' % code)
    if faults:
        sys.exit('makefont: ' + '; '.join(faults))


def writefile(path, data):
    """Write beside the target and rename, so a failure leaves no half file."""
    temp = path + '.tmp'
    try:
        with open(temp, 'wb') as f:
            f.write(data)
        os.replace(temp, path)
    except OSError as e:
        if os.path.exists(temp):
            os.remove(temp)
        sys.exit('makefont: cannot write %s: %s' % (path, e))


def main():
    p = argparse.ArgumentParser(description='Make the 6 x 8 code page 437 font table.')
    p.add_argument('-o', '--output', help='the C++ file to write')
    p.add_argument('--preview', help='also write a magnified PNG of the font')
    args = p.parse_args()
    table, made = makefont()
    check(table)
    if args.output:
        writefile(args.output, cpptable(table, made).encode('utf-8'))
    if args.preview:
        writefile(args.preview, preview(table))


if __name__ == '__main__':
    main()

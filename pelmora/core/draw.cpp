#include "draw.h"
#include "font.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>

drawtarget target;

void setframe(uint32_t *pixels, int pitch, int width, int height)
{
    target = {pixels, pitch, width, height, 0, 0, width, height};
}

void setclip(int left, int top, int right, int bottom)
{
    target.left = std::clamp(left, 0, target.width);
    target.top = std::clamp(top, 0, target.height);
    target.right = std::clamp(right, target.left, target.width);
    target.bottom = std::clamp(bottom, target.top, target.height);
}

static uint32_t *row(int y)
{
    return reinterpret_cast<uint32_t *>(reinterpret_cast<unsigned char *>(target.pixels) + ptrdiff_t(y) * target.pitch);
}

// The part of a rectangle inside the clip rectangle, as [x0, x1) x [y0, y1);
// false when nothing is left. Wide arithmetic, so no size can overflow.
struct cliprect {
    int x0, y0, x1, y1;
};

static bool clip(int x, int y, int width, int height, cliprect &c)
{
    int64_t x0 = std::max<int64_t>(x, target.left), x1 = std::min<int64_t>(int64_t(x) + width, target.right);
    int64_t y0 = std::max<int64_t>(y, target.top), y1 = std::min<int64_t>(int64_t(y) + height, target.bottom);
    if (x1 <= x0 || y1 <= y0)
        return false;
    c = {int(x0), int(y0), int(x1), int(y1)};
    return true;
}

void fillrect(int x, int y, int width, int height, uint32_t colour)
{
    cliprect c;
    if (!clip(x, y, width, height, c))
        return;
    for (int yy = c.y0; yy < c.y1; yy++)
        std::fill(row(yy) + c.x0, row(yy) + c.x1, colour);
}

void drawbox(int x, int y, int width, int height, uint32_t c1, uint32_t c2)
{
    cliprect c;
    if (!clip(x, y, width, height, c))
        return;
    for (int xx = c.x0; xx < c.x1; xx++) {
        uint32_t colour = (xx - c.x0) % 2 ? c2 : c1;
        row(c.y0)[xx] = colour;
        row(c.y1 - 1)[xx] = colour;
    }
    for (int yy = c.y0; yy < c.y1; yy++) {
        uint32_t colour = (yy - c.y0) % 2 ? c1 : c2;
        row(yy)[c.x0] = colour;
        row(yy)[c.x1 - 1] = colour;
    }
}

// One pixel row of one 6-pixel cell; glyph null for a blank cell.
static void drawcellrow(uint32_t *line, int64_t cellx, const uint8_t *glyph, int bit, uint32_t fg, uint32_t bg,
                        bool opaque)
{
    for (int j = 0; j < fontwidth; j++) {
        int64_t x = cellx + j;
        if (x < target.left || x >= target.right)
            continue;
        if (glyph && glyph[j] >> bit & 1)
            line[x] = fg;
        else if (opaque)
            line[x] = bg;
    }
}

static void drawbackground(uint32_t *line, int64_t x, int width, uint32_t bg)
{
    int64_t x0 = std::max<int64_t>(x, target.left), x1 = std::min<int64_t>(x + width, target.right);
    for (int64_t xx = x0; xx < x1; xx++)
        line[xx] = bg;
}

void drawtext(int x, int y, uint32_t foreground, uint32_t background, const char *text, int length)
{
    bool opaque = !(background & 0x80000000u);
    constexpr int tabextra = 12;    // a tab draws a blank cell, then skips 12 more pixels
    for (int r = 0; r < fontheight; r++) {
        int64_t yy = int64_t(y) + r;
        if (yy < target.top || yy >= target.bottom)
            continue;
        uint32_t *line = row(int(yy));
        int64_t cellx = x;
        for (int i = 0; i < length && cellx < target.right; i++) {
            unsigned char ch = static_cast<unsigned char>(text[i]);
            if (ch == '\t') {
                drawcellrow(line, cellx, nullptr, r, foreground, background, opaque);
                if (opaque)
                    drawbackground(line, cellx + fontwidth, tabextra, background);
                cellx += fontwidth + tabextra;
            } else {
                drawcellrow(line, cellx, fonttable[ch], r, foreground, background, opaque);
                cellx += fontwidth;
            }
        }
    }
}

void printtext(int x, int y, uint32_t foreground, uint32_t background, const char *format, ...)
{
    char text[textbuffersize];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0)
        return;
    drawtext(x, y, foreground, background, text, std::min(n, textbuffersize - 1));
}

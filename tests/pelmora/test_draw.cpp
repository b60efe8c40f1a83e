// The drawing primitives against per-pixel oracles: a pixel belongs to a
// rectangle, an outline or a glyph cell, and to the clip rectangle, or it
// is left alone.
#include "draw.h"
#include "font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr uint32_t untouched = 0x123456;

struct DrawTest : ::testing::Test {
    int width = 40, height = 30;
    std::vector<uint32_t> pixels;
    void frame(int w, int h)
    {
        width = w;
        height = h;
        pixels.assign(size_t(w) * size_t(h), untouched);
        setframe(pixels.data(), w * 4, w, h);
    }
    void SetUp() override { frame(40, 30); }
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

struct cliprows {
    int l, t, r, b;
};

bool inclip(const cliprows &c, int x, int y)
{
    return c.l <= x && x < c.r && c.t <= y && y < c.b;
}

TEST_F(DrawTest, FillrectFillsOnlyWhatLiesInsideTheClip)
{
    const struct {
        int x, y, w, h;
        cliprows clip;
    } rows[] = {
        {5, 5, 10, 8, {0, 0, 40, 30}},         // inside
        {-6, 3, 10, 4, {0, 0, 40, 30}},        // partly left of the frame
        {35, 27, 10, 10, {0, 0, 40, 30}},      // over the right and bottom edges
        {-50, -50, 20, 20, {0, 0, 40, 30}},    // wholly outside: nothing
        {2, 2, 30, 20, {10, 5, 20, 12}},       // cut by a narrower clip
        {12, 6, 0, 5, {0, 0, 40, 30}},         // empty
        {-2000000000, 1, 2100000000, 3, {0, 0, 40, 30}},   // sizes that would overflow int arithmetic
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(::testing::Message() << r.x << "," << r.y << " " << r.w << "x" << r.h);
        frame(40, 30);
        setclip(r.clip.l, r.clip.t, r.clip.r, r.clip.b);
        fillrect(r.x, r.y, r.w, r.h, 0xABCDEF);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                bool inside = int64_t(r.x) <= x && x < int64_t(r.x) + r.w && r.y <= y && y < int64_t(r.y) + r.h;
                ASSERT_EQ(at(x, y), inside && inclip(r.clip, x, y) ? 0xABCDEFu : untouched) << x << "," << y;
            }
    }
}

// The outline of the clipped rectangle: top and bottom rows c1, c2, ...
// from the left; then the side columns c2, c1, ... from the top.
uint32_t outline(int x0, int y0, int x1, int y1, int x, int y, uint32_t c1, uint32_t c2)
{
    if (x < x0 || x >= x1 || y < y0 || y >= y1)
        return untouched;
    if (x == x0 || x == x1 - 1)
        return (y - y0) % 2 ? c1 : c2;
    if (y == y0 || y == y1 - 1)
        return (x - x0) % 2 ? c2 : c1;
    return untouched;
}

TEST_F(DrawTest, DrawboxOutlinesTheClippedRectangle)
{
    const struct {
        int x, y, w, h;
    } rows[] = {
        {4, 4, 10, 7}, {4, 4, 10, 8},          // odd and even heights
        {-3, 2, 10, 6}, {30, 25, 20, 20},      // sticking out: edges along the frame
        {10, 10, 1, 1}, {10, 10, 5, 1},        // degenerate
        {50, 5, 5, 5},                         // outside
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(::testing::Message() << r.x << "," << r.y << " " << r.w << "x" << r.h);
        frame(40, 30);
        drawbox(r.x, r.y, r.w, r.h, 0xAA0000, 0x00BB00);
        int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
        int x1 = std::min(r.x + r.w, 40), y1 = std::min(r.y + r.h, 30);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                ASSERT_EQ(at(x, y), outline(x0, y0, x1, y1, x, y, 0xAA0000, 0x00BB00)) << x << "," << y;
    }
}

// The cells of a text, oracle from the font table: cell k at x + 6 k (tabs
// 18 wide), glyph bit r of column j in the foreground, the rest in the
// background when opaque.
std::vector<uint32_t> textoracle(int w, int h, int x, int y, const std::string &text, uint32_t fg, uint32_t bg,
                                 cliprows clip)
{
    std::vector<uint32_t> out(size_t(w) * size_t(h), untouched);
    int cell = x;
    for (unsigned char ch : text) {
        int cellwidth = ch == '\t' ? 18 : 6;
        for (int j = 0; j < cellwidth; j++)
            for (int r = 0; r < 8; r++) {
                int px = cell + j, py = y + r;
                if (!inclip(clip, px, py) || px >= w || py >= h || px < 0 || py < 0)
                    continue;
                bool on = ch != '\t' && j < 6 && (fonttable[ch][j] >> r & 1);
                if (on)
                    out[size_t(py) * size_t(w) + size_t(px)] = fg;
                else if (!(bg & 0x80000000u))
                    out[size_t(py) * size_t(w) + size_t(px)] = bg;
            }
        cell += cellwidth;
    }
    return out;
}

TEST_F(DrawTest, PrinttextDrawsGlyphCellsTabsAndClips)
{
    const struct {
        int w, h, x, y;
        const char *text;
        uint32_t bg;
        cliprows clip;
    } rows[] = {
        {60, 20, 1, 2, "Ag0|", 0x000000, {0, 0, 60, 20}},          // opaque: whole cells
        {60, 20, 1, 2, "Ag0|", transparent, {0, 0, 60, 20}},       // transparent: strokes only
        {60, 20, 0, 0, "a\tb", 0x000077, {0, 0, 60, 20}},          // an 18-pixel opaque tab
        {60, 20, 0, 0, "a\tb", transparent, {0, 0, 60, 20}},       // an 18-pixel untouched gap
        {800, 10, 796, 1, "AB", 0x000000, {0, 0, 800, 10}},        // the first 4 columns only
        {60, 20, -4, -3, "Wx", 0x202020, {0, 0, 60, 20}},          // off the top-left corner
        {60, 20, 0, 0, "0123456789", 0x202020, {7, 3, 25, 9}},     // inside a clip
        {60, 20, 3, 3, "\x01\xDB\xC4\n", 0x000000, {0, 0, 60, 20}},  // symbols, blocks, a line feed's glyph
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.text);
        frame(r.w, r.h);
        setclip(r.clip.l, r.clip.t, r.clip.r, r.clip.b);
        printtext(r.x, r.y, 0xEEEEEE, r.bg, "%s", r.text);
        EXPECT_EQ(pixels, textoracle(r.w, r.h, r.x, r.y, r.text, 0xEEEEEE, r.bg, r.clip));
    }
}

TEST_F(DrawTest, PrinttextCutsAt279Characters)
{
    frame(6 * 300, 8);
    std::string text(300, '\xDB');                  // full block: every pixel of its cell
    printtext(0, 0, 0xFFFFFF, transparent, "%s", text.c_str());
    EXPECT_EQ(at(6 * 279 - 1, 4), 0xFFFFFFu);
    EXPECT_EQ(at(6 * 279, 4), untouched);
}

} // namespace

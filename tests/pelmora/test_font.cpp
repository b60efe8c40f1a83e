// The 6 x 8 code page 437 font table: fixed glyphs, blanks, the free column 0,
// joining box drawing and blocks, and that makefont.py makes font.cpp again.
#include "font.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool pixelset(int code, int row, int col)
{
    return fonttable[code][col] >> row & 1;
}

std::vector<int> glyph(int code)
{
    return std::vector<int>(fonttable[code], fonttable[code] + fontwidth);
}

TEST(Font, GlyphsGivenByTheirBytes)
{
    struct Case {
        int code;
        std::vector<int> columns;
    };
    const Case cases[] = {
        {'A', {0x00, 0x7E, 0x11, 0x11, 0x11, 0x7E}},
        {'0', {0x00, 0x3E, 0x51, 0x49, 0x45, 0x3E}},
        {'g', {0x00, 0x18, 0xA4, 0xA4, 0xA4, 0x7C}},
        {'|', {0x00, 0x00, 0x00, 0x77, 0x00, 0x00}},   // a broken bar
        {1, {0x00, 0x3E, 0x45, 0x51, 0x45, 0x3E}},     // white smiling face
        {0, {0, 0, 0, 0, 0, 0}},
        {' ', {0, 0, 0, 0, 0, 0}},
        {255, {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(glyph(c.code), c.columns) << "code " << c.code;
}

// Every other code draws something; printable ASCII keeps column 0 free so
// text has a gap between letters, while the underscore runs across the cell.
TEST(Font, ColumnZeroFreeExceptWhereGlyphsJoin)
{
    for (int code = 1; code < 255; ++code) {
        if (code != ' ') {
            EXPECT_NE(glyph(code), std::vector<int>(fontwidth, 0)) << "code " << code << " is blank";
        }
    }
    for (int code = 33; code <= 126; ++code) {
        if (code != '_') {
            EXPECT_EQ(fonttable[code][0], 0) << "'" << char(code) << "'";
        }
    }
    bool fullrow = false;   // so that underscores join
    for (int row = 0; row < fontheight; ++row) {
        bool full = true;
        for (int col = 0; col < fontwidth; ++col)
            full = full && pixelset('_', row, col);
        fullrow = fullrow || full;
    }
    EXPECT_TRUE(fullrow) << "the underscore has no row across the whole cell";
}

// The set pixels of one cell edge: columns of a row, or rows of a column.
std::vector<int> edge(int code, bool row, int at)
{
    std::vector<int> set;
    for (int k = 0; k < (row ? fontwidth : fontheight); ++k)
        if (row ? pixelset(code, at, k) : pixelset(code, k, at))
            set.push_back(k);
    return set;
}

// Arms up, down, left, right of each box-drawing character: 0 none, 1 single,
// 2 double (after the Unicode chart).
TEST(Font, BoxDrawingLinesMeetAtTheCellEdges)
{
    struct Box {
        int code;
        const char* arms;   // up, down, left, right
    };
    const Box boxes[] = {
        {0xB3, "1100"}, {0xB4, "1110"}, {0xB5, "1120"}, {0xB6, "2210"},   // │ ┤ ╡ ╢
        {0xB7, "0210"}, {0xB8, "0120"}, {0xB9, "2220"}, {0xBA, "2200"},   // ╖ ╕ ╣ ║
        {0xBB, "0220"}, {0xBC, "2020"}, {0xBD, "2010"}, {0xBE, "1020"},   // ╗ ╝ ╜ ╛
        {0xBF, "0110"}, {0xC0, "1001"}, {0xC1, "1011"}, {0xC2, "0111"},   // ┐ └ ┴ ┬
        {0xC3, "1101"}, {0xC4, "0011"}, {0xC5, "1111"}, {0xC6, "1102"},   // ├ ─ ┼ ╞
        {0xC7, "2201"}, {0xC8, "2002"}, {0xC9, "0202"}, {0xCA, "2022"},   // ╟ ╚ ╔ ╩
        {0xCB, "0222"}, {0xCC, "2202"}, {0xCD, "0022"}, {0xCE, "2222"},   // ╦ ╠ ═ ╬
        {0xCF, "1022"}, {0xD0, "2011"}, {0xD1, "0122"}, {0xD2, "0211"},   // ╧ ╨ ╤ ╥
        {0xD3, "2001"}, {0xD4, "1002"}, {0xD5, "0102"}, {0xD6, "0201"},   // ╙ ╘ ╒ ╓
        {0xD7, "2211"}, {0xD8, "1122"}, {0xD9, "1010"}, {0xDA, "0101"},   // ╫ ╪ ┘ ┌
    };
    // Where lines cross the edges, taken from │ ║ ─ ═: a single line is one
    // pixel and lies midway between the two of a double line.
    const std::vector<int> vertical[3] = {{}, edge(0xB3, true, 0), edge(0xBA, true, 0)};
    const std::vector<int> horizontal[3] = {{}, edge(0xC4, false, 0), edge(0xCD, false, 0)};
    for (const std::vector<int>* lines : {vertical, horizontal}) {
        ASSERT_EQ(lines[1].size(), 1u);
        ASSERT_EQ(lines[2].size(), 2u);
        EXPECT_EQ(lines[2][0] + lines[2][1], 2 * lines[1][0]);
        EXPECT_GT(lines[2][1] - lines[2][0], 1);
    }
    for (const Box& b : boxes) {
        const int up = b.arms[0] - '0', down = b.arms[1] - '0';
        const int left = b.arms[2] - '0', right = b.arms[3] - '0';
        EXPECT_EQ(edge(b.code, true, 0), vertical[up]) << std::hex << "0x" << b.code << " top";
        EXPECT_EQ(edge(b.code, true, fontheight - 1), vertical[down]) << std::hex << "0x" << b.code << " bottom";
        EXPECT_EQ(edge(b.code, false, 0), horizontal[left]) << std::hex << "0x" << b.code << " left";
        EXPECT_EQ(edge(b.code, false, fontwidth - 1), horizontal[right]) << std::hex << "0x" << b.code << " right";
    }
}

TEST(Font, BlocksFillTheirPartOfTheCell)
{
    struct Block {
        int code, top, bottom, left, right;   // the filled rows and columns, inclusive
    };
    const Block blocks[] = {
        {0xDB, 0, 7, 0, 5},   // █
        {0xDC, 4, 7, 0, 5},   // ▄
        {0xDD, 0, 7, 0, 2},   // ▌
        {0xDE, 0, 7, 3, 5},   // ▐
        {0xDF, 0, 3, 0, 5},   // ▀
    };
    for (const Block& b : blocks)
        for (int row = 0; row < fontheight; ++row)
            for (int col = 0; col < fontwidth; ++col) {
                const bool inside = b.top <= row && row <= b.bottom && b.left <= col && col <= b.right;
                EXPECT_EQ(pixelset(b.code, row, col), inside)
                    << std::hex << "0x" << b.code << std::dec << " row " << row << " column " << col;
            }
    // ░ ▒ ▓ get darker in turn.
    int count[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k)
        for (int row = 0; row < fontheight; ++row)
            for (int col = 0; col < fontwidth; ++col)
                count[k] += pixelset(0xB0 + k, row, col);
    EXPECT_LT(0, count[0]);
    EXPECT_LT(count[0], count[1]);
    EXPECT_LT(count[1], count[2]);
    EXPECT_LT(count[2], fontwidth * fontheight);
}

std::string readfile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Font, MakefontMakesTheTableAgain)
{
    if (std::string(PYTHON3).empty())
        GTEST_SKIP() << "python3 was not found when the build was configured";
    const std::string again = std::string(SCRATCHDIR) + "/font_again.cpp";
    std::remove(again.c_str());
    const std::string command = std::string("'") + PYTHON3 + "' '" + MAKEFONT + "' -o '" + again + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string made = readfile(again), kept = readfile(FONTCPP);
    ASSERT_FALSE(kept.empty()) << FONTCPP;
    if (made == kept)
        return;
    // Name the first line that differs.
    std::istringstream a(made), b(kept);
    std::string linea, lineb;
    for (int line = 1; std::getline(a, linea) && std::getline(b, lineb); ++line)
        if (linea != lineb) {
            ADD_FAILURE() << "line " << line << " differs:\n  made: " << linea << "\n  kept: " << lineb;
            return;
        }
    ADD_FAILURE() << "the files differ in length or line ends";
}

}  // namespace

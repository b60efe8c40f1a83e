// Code page 437 against Unicode, checked with the C library's own CP437
// converter (iconv) as an independent table, and UTF-8 decoding of good and
// broken sequences.
#include "cp437.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <string>
#include <vector>

namespace {

// The C library's Unicode value of a code page 437 byte; 0 when unknown.
uint32_t libcvalue(unsigned char c)
{
    iconv_t cd = iconv_open("UTF-32LE", "CP437");
    if (cd == iconv_t(-1))
        return 0;
    char in[1] = {char(c)};
    unsigned char out[4] = {};
    char *ip = in, *op = reinterpret_cast<char *>(out);
    size_t il = 1, ol = 4;
    size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    if (r == size_t(-1) || ol != 0)
        return 0;
    return out[0] | out[1] << 8 | out[2] << 16 | uint32_t(out[3]) << 24;
}

TEST(Cp437, PrintableHalvesAgreeWithTheCLibrary)
{
    if (!libcvalue('A'))
        GTEST_SKIP() << "the C library has no CP437 converter";
    for (int c = 0x20; c < 0x100; c++) {
        if (c == 0x7F)
            continue;                       // the library keeps DEL; the font draws a house
        EXPECT_EQ(codepointofcp437(uint8_t(c)), libcvalue(uint8_t(c))) << std::hex << c;
    }
}

TEST(Cp437, EveryCharacterComesBackAndControlsStayControls)
{
    for (int c = 1; c < 256; c++)
        EXPECT_EQ(cp437ofcodepoint(codepointofcp437(uint8_t(c))), c) << c;
    for (uint32_t control : {0x09u, 0x0Au, 0x0Du, 0x01u})
        EXPECT_EQ(cp437ofcodepoint(control), int(control));
    EXPECT_EQ(cp437ofcodepoint(0x263A), 1);             // the smiling face is 1 as well
    EXPECT_EQ(cp437ofcodepoint(0x20AC), -1);            // no euro sign
    EXPECT_EQ(cp437ofcodepoint(0), -1);
}

TEST(Cp437, Utf8DecodesAndSkipsBrokenBytes)
{
    const struct {
        std::string text;
        std::vector<uint32_t> points;
    } rows[] = {
        {"a\xC3\xA9\xE2\x95\x90", {'a', 0xE9, 0x2550}},
        {"\xF0\x9F\x98\x80x", {0x1F600, 'x'}},
        {"\x80z", {0xFFFD, 'z'}},                       // a lone continuation byte
        {"\xC3z", {0xFFFD, 'z'}},                       // a sequence cut short
        {"\xE2\x95", {0xFFFD, 0xFFFD}},                 // cut short at the end
    };
    for (const auto &r : rows) {
        std::vector<uint32_t> got;
        for (const char *p = r.text.c_str(); *p;)
            got.push_back(nextcodepoint(p));
        EXPECT_EQ(got, r.points) << r.text;
    }
    std::string out;
    for (uint32_t c : {0x41u, 0xE9u, 0x2550u})
        appendutf8(out, c);
    EXPECT_EQ(out, "A\xC3\xA9\xE2\x95\x90");
}

} // namespace

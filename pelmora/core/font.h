#pragma once
#include <cstdint>
constexpr int fontwidth = 6, fontheight = 8;
// 256 glyphs, code page 437 order; byte j = column j, bit r = row r (0 top).
extern const uint8_t fonttable[256][6];

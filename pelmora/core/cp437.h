// Code page 437, the designer's character set (the font, the expression
// text), against Unicode and UTF-8, the platform's text.
#pragma once
#include <cstdint>
#include <string>

// Unicode value of a code page 437 character.
uint32_t codepointofcp437(unsigned char c);

// Code page 437 character of a Unicode value; -1 when the code page lacks
// it (and for 0).
int cp437ofcodepoint(uint32_t codepoint);

// Decodes the UTF-8 sequence at p and moves p past it; a malformed byte
// gives 0xFFFD and is skipped alone.
uint32_t nextcodepoint(const char *&p);

// Appends the UTF-8 form of a code point below 0x10000.
void appendutf8(std::string &out, uint32_t c);

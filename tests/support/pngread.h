// The independent PNG reader (pngread.py: Python's zlib and struct, no code
// of ours), for tests that check written pictures.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Decodes a PNG file; false when the reader rejects it. pixels: 0xAARRGGBB,
// row by row.
bool readpng(const std::string &path, int *width, int *height, std::vector<uint32_t> *pixels);

// Whether python3 was found when the build was configured.
bool pngreaderavailable();

// Skips the running test when the reader cannot run. Use in the test body.
#define SKIPWITHOUTPNGREADER()                                                                                     \
    if (!pngreaderavailable())                                                                                     \
    GTEST_SKIP() << "python3 was not found when the build was configured"

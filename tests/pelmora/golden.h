// Golden frames: whole designer frames kept pixel for pixel, run-length
// coded (UI frames are long runs of a few colours).
//
// File: "PMRL", width and height (16-bit little-endian), the number of
// colours (1 byte, 0 for 256) and the colours (4 bytes little-endian each),
// then runs up to the end: the run length as a LEB128 number and the
// colour's index (1 byte).
//
// PELMORA_UPDATE_GOLDEN=1 in the environment writes the frames anew into
// the source tree instead of comparing. On a mismatch the frame is written
// as NAME.actual.png (and the stored one as NAME.expected.png) in the
// test's working directory, so a person can look.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Empty when the frame has more than 256 colours.
std::vector<uint8_t> encodeframe(const std::vector<uint32_t> &pixels, int width, int height);
// False when the bytes are not a whole frame file.
bool decodeframe(const std::vector<uint8_t> &bytes, std::vector<uint32_t> &pixels, int &width, int &height);

// Writes pixels as an opaque PNG; false when it could not.
bool writeframepng(const std::string &path, const std::vector<uint32_t> &pixels, int width, int height);

// Empty when the frame matches the golden frame `name` (or was stored
// anew); otherwise what differs.
std::string comparegolden(const std::string &name, const std::vector<uint32_t> &pixels, int width, int height);

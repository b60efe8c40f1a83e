#include "golden.h"
#include "png.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

std::vector<uint8_t> encodeframe(const std::vector<uint32_t> &pixels, int width, int height)
{
    std::vector<uint8_t> out = {'P', 'M', 'R', 'L', uint8_t(width), uint8_t(width >> 8), uint8_t(height),
                                uint8_t(height >> 8)};
    for (size_t i = 0; i < pixels.size();) {
        size_t j = i;
        while (j < pixels.size() && pixels[j] == pixels[i])
            j++;
        for (size_t n = j - i; ; n >>= 7) {
            out.push_back(uint8_t((n & 0x7F) | (n > 0x7F ? 0x80 : 0)));
            if (n <= 0x7F)
                break;
        }
        for (int k = 0; k < 4; k++)
            out.push_back(uint8_t(pixels[i] >> (8 * k)));
        i = j;
    }
    return out;
}

bool decodeframe(const std::vector<uint8_t> &bytes, std::vector<uint32_t> &pixels, int &width, int &height)
{
    if (bytes.size() < 8 || bytes[0] != 'P' || bytes[1] != 'M' || bytes[2] != 'R' || bytes[3] != 'L')
        return false;
    width = bytes[4] | bytes[5] << 8;
    height = bytes[6] | bytes[7] << 8;
    size_t total = size_t(width) * size_t(height);
    pixels.clear();
    size_t at = 8;
    while (at < bytes.size()) {
        size_t n = 0;
        for (int shift = 0;; shift += 7) {
            if (at >= bytes.size() || shift > 28)
                return false;
            uint8_t b = bytes[at++];
            n |= size_t(b & 0x7F) << shift;
            if (!(b & 0x80))
                break;
        }
        if (at + 4 > bytes.size() || n > total - pixels.size())
            return false;
        uint32_t p = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
        at += 4;
        pixels.insert(pixels.end(), n, p);
    }
    return pixels.size() == total;
}

bool writeframepng(const std::string &path, const std::vector<uint32_t> &pixels, int width, int height)
{
    if (!pngbegin(path.c_str(), width, height))
        return false;
    for (int i = 0; i < width * height; i++)
        if (!pngpixel(pixels[size_t(i)] | 0xFF000000u))
            return false;
    return true;
}

static std::string goldenpath(const std::string &name)
{
    return std::string(GOLDENDIR) + "/" + name + ".rle";
}

static bool readfile(const std::string &path, std::vector<uint8_t> &bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

static bool writefile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

std::string comparegolden(const std::string &name, const std::vector<uint32_t> &pixels, int width, int height)
{
    const char *update = std::getenv("PELMORA_UPDATE_GOLDEN");
    if (update && update[0] == '1') {
        if (!writefile(goldenpath(name), encodeframe(pixels, width, height)))
            return "cannot write " + goldenpath(name);
        std::fprintf(stderr, "stored golden frame %s\n", goldenpath(name).c_str());
        return "";
    }
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> expected;
    int w = 0, h = 0;
    if (!readfile(goldenpath(name), bytes)) {
        writeframepng(name + ".actual.png", pixels, width, height);
        return "no golden frame " + goldenpath(name) + " (PELMORA_UPDATE_GOLDEN=1 stores it); written " + name +
               ".actual.png";
    }
    if (!decodeframe(bytes, expected, w, h))
        return goldenpath(name) + " is damaged";
    std::string why;
    if (w != width || h != height) {
        why = "size " + std::to_string(width) + "x" + std::to_string(height) + ", golden " + std::to_string(w) +
              "x" + std::to_string(h);
    } else {
        int differ = 0, first = -1;
        for (size_t i = 0; i < pixels.size(); i++)
            if (pixels[i] != expected[i]) {
                differ++;
                if (first < 0)
                    first = int(i);
            }
        if (!differ)
            return "";
        char text[200];
        std::snprintf(text, sizeof text, "%d pixels differ, the first at (%d, %d): 0x%08X, golden 0x%08X", differ,
                      first % width, first / width, pixels[size_t(first)], expected[size_t(first)]);
        why = text;
        writeframepng(name + ".expected.png", expected, w, h);
    }
    writeframepng(name + ".actual.png", pixels, width, height);
    return why + "; written " + name + ".actual.png";
}

#include "golden.h"
#include "png.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

static void putnumber(std::vector<uint8_t> &out, size_t n)
{
    for (;; n >>= 7) {
        out.push_back(uint8_t((n & 0x7F) | (n > 0x7F ? 0x80 : 0)));
        if (n <= 0x7F)
            return;
    }
}

static bool getnumber(const std::vector<uint8_t> &bytes, size_t &at, size_t &n)
{
    n = 0;
    for (int shift = 0; shift <= 28; shift += 7) {
        if (at >= bytes.size())
            return false;
        uint8_t b = bytes[at++];
        n |= size_t(b & 0x7F) << shift;
        if (!(b & 0x80))
            return true;
    }
    return false;
}

std::vector<uint8_t> encodeframe(const std::vector<uint32_t> &pixels, int width, int height)
{
    std::vector<uint32_t> palette;
    std::vector<uint8_t> runs;
    for (size_t i = 0; i < pixels.size();) {
        size_t j = i;
        while (j < pixels.size() && pixels[j] == pixels[i])
            j++;
        size_t k = 0;
        while (k < palette.size() && palette[k] != pixels[i])
            k++;
        if (k == palette.size())
            palette.push_back(pixels[i]);
        if (k > 255)
            return {};                  // more colours than a UI frame has
        putnumber(runs, j - i);
        runs.push_back(uint8_t(k));
        i = j;
    }
    std::vector<uint8_t> out = {'P', 'M', 'R', 'L', uint8_t(width), uint8_t(width >> 8), uint8_t(height),
                                uint8_t(height >> 8), uint8_t(palette.size())};
    for (uint32_t c : palette)
        for (int b = 0; b < 4; b++)
            out.push_back(uint8_t(c >> (8 * b)));
    out.insert(out.end(), runs.begin(), runs.end());
    return out;
}

bool decodeframe(const std::vector<uint8_t> &bytes, std::vector<uint32_t> &pixels, int &width, int &height)
{
    if (bytes.size() < 9 || bytes[0] != 'P' || bytes[1] != 'M' || bytes[2] != 'R' || bytes[3] != 'L')
        return false;
    width = bytes[4] | bytes[5] << 8;
    height = bytes[6] | bytes[7] << 8;
    size_t colours = bytes[8] ? bytes[8] : 256, at = 9;
    if (bytes.size() < at + 4 * colours)
        return false;
    std::vector<uint32_t> palette;
    for (size_t k = 0; k < colours; k++, at += 4)
        palette.push_back(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24);
    size_t total = size_t(width) * size_t(height), n;
    pixels.clear();
    while (at < bytes.size()) {
        if (!getnumber(bytes, at, n) || at >= bytes.size() || bytes[at] >= colours || n > total - pixels.size())
            return false;
        pixels.insert(pixels.end(), n, palette[bytes[at++]]);
    }
    return pixels.size() == total;
}

bool writeframepng(const std::string &path, const std::vector<uint32_t> &pixels, int width, int height)
{
    pngwriter writer;
    if (!pngbegin(writer, path.c_str(), width, height))
        return false;
    for (int i = 0; i < width * height; i++)
        if (!pngpixel(writer, pixels[size_t(i)] | 0xFF000000u)) {
            pngabort(writer);
            return false;
        }
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
        std::vector<uint8_t> bytes = encodeframe(pixels, width, height);
        if (bytes.empty() || !writefile(goldenpath(name), bytes))
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

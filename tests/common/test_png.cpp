// The PNG writer: exact layout and sizes, pixels read back by an independent
// decoder, and failures that leave nothing behind.
#include "png.h"

#include "support/command.h"
#include "support/pngread.h"
#include "support/scratch.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <csignal>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool writeimage(pngwriter &w, const std::string &path, int width, int height, const std::vector<uint32_t> &pixels)
{
    if (!pngbegin(w, path.c_str(), width, height))
        return false;
    int ok = 0;
    for (uint32_t p : pixels)
        ok = pngpixel(w, p);
    return ok == 1;
}

std::vector<uint32_t> randompixels(size_t count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint32_t> out(count);
    for (uint32_t &p : out)
        p = uint32_t(rng());
    return out;
}

std::string freshdir(const std::string &name)
{
    std::string dir = scratchpath(name);
    mkdir(dir.c_str(), 0777);
    return dir;
}

} // namespace

// File length: 57 fixed bytes, the zlib header, 4 * width + 6 per row, the Adler-32.
TEST(png, filesizes)
{
    pngwriter w;
    struct sizecase {
        int width, height;
        long bytes;
    };
    const sizecase cases[] = {{1, 1, 73},
                              {256, 256, 263743},
                              {3, 2, 99},
                              {16383, 1, 57 + 2 + 65538 + 4},
                              {4096, 4096, 57 + 2 + 4096L * (4 * 4096 + 6) + 4}};   // the largest F4 image
    for (const sizecase &c : cases) {
        std::string path = scratchpath(std::to_string(c.width) + "x" + std::to_string(c.height) + ".png");
        ASSERT_TRUE(writeimage(w, path, c.width, c.height, std::vector<uint32_t>(size_t(c.width) * c.height, 0xFF102030)))
            << w.message;
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_size, c.bytes) << c.width << "x" << c.height;
    }
}

// The bytes of a 1 x 1 image that do not depend on a checksum.
TEST(png, onepixellayout)
{
    pngwriter w;
    std::string path = scratchpath("one.png");
    ASSERT_TRUE(writeimage(w, path, 1, 1, {0x80A1B2C3}));
    std::vector<uint8_t> b = readbytes(path);
    ASSERT_EQ(b.size(), 73u);
    const uint8_t head[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                            0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0};
    EXPECT_EQ(std::memcmp(b.data(), head, sizeof head), 0);
    EXPECT_EQ(b[33] << 24 | b[34] << 16 | b[35] << 8 | b[36], 73 - 57);   // IDAT length
    const uint8_t idat[] = {'I', 'D', 'A', 'T', 0x78, 0x01, 0x01, 0x05, 0x00, 0xFA, 0xFF, 0, 0xA1, 0xB2, 0xC3, 0x80};
    EXPECT_EQ(std::memcmp(b.data() + 37, idat, sizeof idat), 0);
    // Adler-32 of the five data bytes 00 A1 B2 C3 80, worked out by hand.
    uint32_t s1 = 1 + 0 + 0xA1 + 0xB2 + 0xC3 + 0x80;
    uint32_t s2 = 1 + (1 + 0xA1) + (1 + 0xA1 + 0xB2) + (1 + 0xA1 + 0xB2 + 0xC3) + s1;
    EXPECT_EQ(b[53] << 24 | b[54] << 16 | b[55] << 8 | b[56], int(s2 << 16 | s1));
    const uint8_t iend[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    EXPECT_EQ(std::memcmp(b.data() + 61, iend, sizeof iend), 0);
}

// Only the last row's stored block carries the final bit; every block is
// 4 * width + 1 bytes with its complement.
TEST(png, blockheaders)
{
    pngwriter w;
    std::string path = scratchpath("rows.png");
    const int width = 5, height = 4;
    ASSERT_TRUE(writeimage(w, path, width, height, randompixels(width * height, 1)));
    std::vector<uint8_t> b = readbytes(path);
    for (int row = 0; row < height; row++) {
        size_t at = 43 + size_t(row) * (4 * width + 6);
        EXPECT_EQ(b[at], row == height - 1 ? 1 : 0) << row;
        EXPECT_EQ(b[at + 1] | b[at + 2] << 8, 4 * width + 1);
        EXPECT_EQ(b[at + 3] | b[at + 4] << 8, 0xFFFF ^ (4 * width + 1));
        EXPECT_EQ(b[at + 5], 0);   // filter None
    }
}

// An independent decoder (Python zlib and struct) checks every CRC, the
// Adler-32 and the stream's end, and gives back exactly the pixels written.
TEST(png, decodesindependently)
{
    SKIPWITHOUTPNGREADER();
    pngwriter w;
    const int sizes[][2] = {{1, 1}, {7, 5}, {256, 256}, {1000, 3}, {2, 300}, {1024, 1024}};
    for (const auto &s : sizes) {
        std::string path = scratchpath(std::to_string(s[0]) + "x" + std::to_string(s[1]) + ".png");
        std::vector<uint32_t> pixels = randompixels(size_t(s[0]) * s[1], unsigned(s[0] * 1000 + s[1]));
        ASSERT_TRUE(writeimage(w, path, s[0], s[1], pixels));
        int w = 0, h = 0;
        std::vector<uint32_t> back;
        ASSERT_TRUE(readpng(path, &w, &h, &back)) << path;
        EXPECT_EQ(w, s[0]);
        EXPECT_EQ(h, s[1]);
        EXPECT_EQ(back, pixels) << path;
    }
}

TEST(png, pngcheckaccepts)
{
    pngwriter w;
    std::string out;
    if (runcommand("command -v pngcheck", &out) != 0)
        GTEST_SKIP() << "pngcheck is not installed";
    std::string path = scratchpath("check.png");
    ASSERT_TRUE(writeimage(w, path, 256, 256, randompixels(65536, 9)));
    EXPECT_EQ(runcommand("pngcheck '" + path + "'", &out), 0) << out;
}

// Images that cannot be made give a message and leave no file.
TEST(png, failuresleavenothing)
{
    pngwriter w;
    std::string dir = freshdir("out");
    struct badcase {
        const char *name;
        std::string path;
        int width, height;
    };
    const badcase cases[] = {
        {"no such directory", dir + "/missing/x.png", 4, 4},
        {"width 0", dir + "/w0.png", 0, 4},
        {"too wide", dir + "/wide.png", 16384, 1},
        {"height 0", dir + "/h0.png", 4, 0},
        {"too big", dir + "/big.png", 16383, 40000},
        {"name too long", dir + "/" + std::string(300, 'n') + ".png", 4, 4},
    };
    for (const badcase &c : cases) {
        EXPECT_EQ(pngbegin(w, c.path.c_str(), c.width, c.height), 0) << c.name;
        EXPECT_GT(std::strlen(w.message), 10u) << c.name;
        EXPECT_EQ(pngpixel(w, 0), 0) << c.name;
    }
    EXPECT_TRUE(listdir(dir).empty());

    // The target is a directory: the image is written but cannot be put in place.
    std::string target = dir + "/taken.png";
    mkdir(target.c_str(), 0777);
    EXPECT_FALSE(writeimage(w, target, 2, 2, randompixels(4, 2)));
    EXPECT_NE(std::strstr(w.message, "taken.png"), nullptr) << w.message;
    EXPECT_EQ(listdir(dir), std::vector<std::string>{"taken.png"});
    EXPECT_TRUE(listdir(target).empty());
}

// Writes that fail part way (here the file size limit stands in for a full
// disk) are reported at the end, and the partial image is removed.
TEST(png, writefailureleavesnothing)
{
    pngwriter w;
    std::string dir = freshdir("full");
    std::string path = dir + "/big.png";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = {20000, 20000};
        setrlimit(RLIMIT_FSIZE, &limit);
        int last = writeimage(w, path, 256, 256, randompixels(65536, 4)) ? 1 : 0;
        _exit(last == 0 && std::strstr(w.message, "cannot write") ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(listdir(dir).empty());
}

// An existing file is replaced only when the new image is complete.
TEST(png, replacesonlywhencomplete)
{
    pngwriter w;
    std::string dir = freshdir("keep");
    std::string path = dir + "/old.png";
    writebytes(path, {1, 2, 3});
    ASSERT_EQ(pngbegin(w, path.c_str(), 2, 2), 1);
    pngpixel(w, 0xFFFFFFFF);
    EXPECT_EQ(readbytes(path), (std::vector<uint8_t>{1, 2, 3}));
    pngabort(w);
    EXPECT_EQ(readbytes(path), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(listdir(dir), std::vector<std::string>{"old.png"});
    ASSERT_TRUE(writeimage(w, path, 2, 2, randompixels(4, 3)));
    EXPECT_EQ(readbytes(path).size(), 57u + 2 + 2 * 14 + 4);
    EXPECT_EQ(listdir(dir), std::vector<std::string>{"old.png"});
}

// The memory sink holds byte for byte what the file sink writes (whose
// bytes the decoder above checks), from one pixel to the widest row.
TEST(png, memorysinkholdsthefilebytes)
{
    pngwriter w;
    const int sizes[][2] = {{1, 1}, {7, 5}, {256, 256}, {pngmaxwidth, 2}};
    for (const auto &s : sizes) {
        std::string path = scratchpath("mem.png");
        std::vector<uint32_t> pixels = randompixels(size_t(s[0]) * s[1], unsigned(s[0] + s[1]));
        ASSERT_TRUE(writeimage(w, path, s[0], s[1], pixels));
        ASSERT_EQ(pngbeginmemory(w, s[0], s[1]), 1) << w.message;
        int last = 0;
        for (uint32_t p : pixels)
            last = pngpixel(w, p);
        EXPECT_EQ(last, 1);
        size_t size = 0;
        uint8_t *bytes = pngtakememory(w, &size);
        ASSERT_NE(bytes, nullptr);
        EXPECT_TRUE(std::vector<uint8_t>(bytes, bytes + size) == readbytes(path)) << s[0] << "x" << s[1];
        std::free(bytes);
        EXPECT_EQ(pngtakememory(w, &size), nullptr);   // taken once
    }
    // An unfinished image has nothing to take; a bad size is refused.
    ASSERT_EQ(pngbeginmemory(w, 2, 2), 1);
    pngpixel(w, 0);
    size_t size = 0;
    EXPECT_EQ(pngtakememory(w, &size), nullptr);
    pngabort(w);
    EXPECT_EQ(pngbeginmemory(w, pngmaxwidth + 1, 1), 0);
    EXPECT_NE(std::strstr(w.message, "cannot be stored"), nullptr) << w.message;
}

// Writers are records of their own: two images written at once, pixel by
// pixel in turn, are byte for byte the images written one after the other.
TEST(png, twowritersatonce)
{
    const std::vector<uint32_t> a = randompixels(7 * 5, 11), b = randompixels(3 * 9, 12);
    pngwriter one, two, alone;
    ASSERT_EQ(pngbeginmemory(one, 7, 5), 1);
    ASSERT_EQ(pngbegin(two, scratchpath("two.png").c_str(), 3, 9), 1) << two.message;
    for (size_t i = 0; i < std::max(a.size(), b.size()); i++) {
        if (i < a.size()) {
            ASSERT_EQ(pngpixel(one, a[i]), 1);
        }
        if (i < b.size()) {
            ASSERT_EQ(pngpixel(two, b[i]), 1);
        }
    }
    ASSERT_TRUE(writeimage(alone, scratchpath("one.png"), 7, 5, a));
    size_t size = 0;
    uint8_t *bytes = pngtakememory(one, &size);
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(std::vector<uint8_t>(bytes, bytes + size) == readbytes(scratchpath("one.png")));
    std::free(bytes);
    ASSERT_TRUE(writeimage(alone, scratchpath("alone.png"), 3, 9, b));
    EXPECT_EQ(readbytes(scratchpath("two.png")), readbytes(scratchpath("alone.png")));
}

TEST(png, fileextension)
{
    struct extcase {
        const char *name;
        long at;
    };
    const extcase cases[] = {
        {"stone.tx", 5}, {"stone", 0}, {".tx", 0}, {"a.b.c", 3}, {"dir.d/file", 3}, {"", 0}, {"x.", 1}, {"..", 1},
    };
    for (const extcase &c : cases) {
        char name[64];
        std::strcpy(name, c.name);
        EXPECT_EQ(fileextension(name) - name, c.at) << c.name;
    }
}

// txtool show FILE.tx: every section of a texture script in readable form,
// and whether the file is sound. Exit 0 for a good file, 1 for a damaged one.
#include "byteorder.h"
#include "commands.h"
#include "regularfile.h"
#include "texscript.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr long maxshowsize = 1 << 20;

struct showfile {
    unsigned char *bytes;
    long size;
    long at;
    int damage;             // problems that make the file unsound
    int seen[7];            // occurrences of each known section
};

const char *const rownames[4] = {"red", "green", "blue", "group scale"};

uint32_t u32at(const showfile &f, long at)
{
    return getle32(f.bytes + at);
}

float floatat(const showfile &f, long at)
{
    return getlefloat(f.bytes + at);
}

void damaged(showfile &f, const char *what)
{
    std::printf("  ! %s (offset %ld)\n", what, f.at);
    f.damage++;
}

void printrows(const showfile &f, long at, int rows)
{
    for (int r = 0; r < rows; r++) {
        std::printf("        %-12s", rownames[r]);
        for (int g = 0; g < 4; g++)
            std::printf(" %10g", floatat(f, at + 4 * (4 * r + g)));
        std::printf("\n");
    }
}

void showweights(const showfile &f, long at)
{
    std::printf("  Wgt:  weight table (groups 1 to 4)\n");
    printrows(f, at, 4);
}

void showchannels(const showfile &f, long at)
{
    std::printf("  Wgt2  channel weights c1..c4\n");
    printrows(f, at, 3);
}

void showshape(const showfile &f, long at)
{
    float s = floatat(f, at);
    float w = s >= 0.0f ? 1.0f / (s + 1.0f) : 1.0f - s;
    const char *kind = s > 0 ? "concave" : s < 0 ? "convex" : "plain cells";
    std::printf("  Air:  shape %g (%s; gives solid weight %g)\n", s, kind, w);
}

void showlight(const showfile &f, long at)
{
    float a = floatat(f, at);
    std::printf("  Lta:  light angle %g rad (%g degrees)\n", a, a * 57.29577951308232);
}

void showscale(const showfile &f, long at)
{
    std::printf("  Scal  global scale %g\n", floatat(f, at));
}

void showsolid(const showfile &f, long at)
{
    std::printf("  w6ol  solid weight %g\n", floatat(f, at));
}

// Tags with a fixed size, in the order the designer writes them.
struct showsection {
    char tag[5];
    int size;
    void (*show)(const showfile &f, long at);
};

const showsection showsections[] = {
    {"Wgt:", 64, showweights}, {"Air:", 4, showshape}, {"Lta:", 4, showlight}, {"Wgt2", 48, showchannels},
    {"Scal", 4, showscale},    {"w6ol", 4, showsolid},
};
constexpr int eqatsection = 6;

void showtext(showfile &f)
{
    if (f.at + 4 > f.size) {
        damaged(f, "\"Eqat\" cut off before its length");
        f.at = f.size;
        return;
    }
    int32_t n = int32_t(u32at(f, f.at));
    std::printf("  Eqat  expression, %d bytes\n", n);
    f.at += 4;
    if (n < 0 || n > exprtextsize) {
        damaged(f, "expression length outside 0..8192");
        f.at = f.size;
        return;
    }
    long avail = f.size - f.at < n ? f.size - f.at : n;
    const char *text = reinterpret_cast<const char *>(f.bytes + f.at);
    long length = long(strnlen(text, size_t(avail)));
    std::printf("-----\n%.*s\n-----\n", int(length), text);
    f.at += avail;
    if (avail < n)
        damaged(f, "expression text cut off");
    else if (n == 0 || length == n)
        damaged(f, "expression text without its terminating NUL");
    else if (length != n - 1)
        damaged(f, "expression text has a NUL before its end");
    else if (n < 39 || std::memcmp(text, exprheader, exprheaderlength) != 0)
        std::printf("  note: the text does not begin with the standard header line\n");
}

void walksections(showfile &f)
{
    while (f.at < f.size) {
        if (f.at + 4 > f.size) {
            damaged(f, "trailing bytes shorter than a tag");
            return;
        }
        const char *tag = reinterpret_cast<const char *>(f.bytes + f.at);
        int k = 0;
        while (k < eqatsection && std::memcmp(showsections[k].tag, tag, 4) != 0)
            k++;
        if (k == eqatsection && std::memcmp("Eqat", tag, 4) != 0) {
            damaged(f, "unknown tag");
            f.at += 4;      // the readers walk on 4 bytes at a time
            continue;
        }
        f.seen[k]++;
        f.at += 4;
        if (k == eqatsection) {
            showtext(f);
            continue;
        }
        if (f.at + showsections[k].size > f.size) {
            damaged(f, "section cut off");
            f.at = f.size;
            return;
        }
        showsections[k].show(f, f.at);
        f.at += showsections[k].size;
    }
}

void showmissing(showfile &f)
{
    for (int k = 0; k <= eqatsection; k++) {
        const char *tag = k == eqatsection ? "Eqat" : showsections[k].tag;
        if (f.seen[k] > 1)
            std::printf("  note: \"%s\" appears %d times; the last one counts\n", tag, f.seen[k]);
        if (f.seen[k] == 0 && k == eqatsection)
            damaged(f, "no \"Eqat\" section: the generator cannot use this script");
        else if (f.seen[k] == 0)
            std::printf("  note: no \"%s\" section\n", tag);
    }
}

}   // namespace

int txshow(int argc, char **argv)
{
    if (argc != 1) {
        std::fprintf(stderr, "usage: txtool show FILE.tx\n");
        return 2;
    }
    static unsigned char bytes[maxshowsize + 1];
    char why[200];
    FILE *in = fopenregular(argv[0], why, sizeof why);
    if (!in) {
        std::fprintf(stderr, "txtool show: cannot open %s: %s\n", argv[0], why);
        return 1;
    }
    showfile f = {bytes, long(std::fread(bytes, 1, sizeof bytes, in)), 0, 0, {}};
    long long size = f.size;
    struct stat st;
    if (f.size > maxshowsize && fstat(fileno(in), &st) == 0)
        size = st.st_size;   // the reading stopped one byte past the limit
    std::fclose(in);
    std::printf("%s: %lld bytes\n", argv[0], size);
    if (f.size > maxshowsize) {
        std::printf("damaged: longer than any texture script\n");
        return 1;
    }
    if (f.size < 4 || std::memcmp(bytes, "TxQv", 4) != 0) {
        std::printf("damaged: no \"TxQv\" magic, not a texture script\n");
        return 1;
    }
    f.at = 4;
    walksections(f);
    showmissing(f);
    if (f.damage) {
        std::printf("damaged: %d problem%s\n", f.damage, f.damage == 1 ? "" : "s");
        return 1;
    }
    std::printf("good\n");
    return 0;
}

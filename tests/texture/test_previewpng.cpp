// The preview export and txtool render, checked with an independent PNG
// reader (Python zlib and struct): the file holds exactly the preview pixels,
// opaque, and txtool gives the image the designer shows after a load.
#include "designer.h"
#include "pngexport.h"
#include "preview.h"
#include "texscript.h"

#include "support/command.h"
#include "support/pngread.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string header = "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n";

// The designer's own sequence from program start: the preview it shows
// after loading path and doing `a`.
std::vector<uint32_t> designerpreview(const std::string &path, designactions a = {})
{
    char why[512];
    EXPECT_EQ(renderdesign(path.c_str(), a, why, sizeof why), 1) << why;
    return std::vector<uint32_t>(preview.image, preview.image + previewsize);
}

std::vector<uint32_t> opaque(std::vector<uint32_t> pixels)
{
    for (uint32_t &p : pixels)
        p |= 0xFF000000u;
    return pixels;
}

// A script: the start-up texture with another expression body.
std::string makescript(const std::string &name, const std::string &body)
{
    static texturescript s;
    defaultscript(s);
    std::snprintf(s.text, sizeof s.text, "%s%s", header.c_str(), body.c_str());
    std::string path = scratchpath(name);
    EXPECT_EQ(savescript(s, path.c_str()), 1);
    return path;
}

int txtool(const std::string &args, std::string *out)
{
    return runcommand(std::string(TXTOOL) + " " + args + " 2>&1", out);
}

} // namespace

TEST(PreviewPng, ExportHoldsThePreviewPixelsOpaque)
{
    SKIPWITHOUTPNGREADER();
    std::vector<uint32_t> image = designerpreview(std::string(EXAMPLESDIR) + "/moss.tx");
    std::string path = scratchpath("moss.png");
    pngwriter writer;
    ASSERT_EQ(exportpreview(writer, path.c_str()), 1) << writer.message;
    int w = 0, h = 0;
    std::vector<uint32_t> back;
    ASSERT_TRUE(readpng(path, &w, &h, &back));
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 256);
    EXPECT_EQ(back, opaque(image));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 263743);
}

TEST(PreviewPng, ExportToAMissingDirectoryLeavesNothing)
{
    std::string dir = scratchpath("empty");
    mkdir(dir.c_str(), 0777);
    pngwriter writer;
    EXPECT_EQ(exportpreview(writer, (dir + "/no/such/dir.png").c_str()), 0);
    EXPECT_NE(std::strstr(writer.message, "dir.png"), nullptr) << writer.message;
    EXPECT_TRUE(listdir(dir).empty());
}

// txtool render against the designer's own sequence, for example scripts,
// one that draws random numbers (so the order of every evaluation counts)
// and the light options.
TEST(PreviewPng, TxtoolRendersWhatTheDesignerExports)
{
    SKIPWITHOUTPNGREADER();
    const std::string examples = EXAMPLESDIR;
    struct rendercase {
        std::string script, options;
        designactions actions;
    };
    const rendercase cases[] = {
        {examples + "/rock.tx", "", {}},
        {examples + "/crystal.tx", "", {}},
        {makescript("random.tx", "(d1*c1 + RND*c2*20 + NRND*c3*4 + c4*40)*sc"), "", {}},
        {examples + "/sandstone.tx", "--nolight", {false, 0.0f, true}},
        {examples + "/ground.tx", "--light 2.5", {true, 2.5f, false}},
        {examples + "/ground.tx", "--nolight --light -1", {true, -1.0f, true}},
    };
    for (const rendercase &c : cases) {
        SCOPED_TRACE(c.script + " " + c.options);
        std::string out, png = scratchpath("render.png");
        std::remove(png.c_str());
        ASSERT_EQ(txtool("render " + c.script + " " + png + " " + c.options, &out), 0) << out;
        EXPECT_EQ(out, "");
        int w = 0, h = 0;
        std::vector<uint32_t> back;
        ASSERT_TRUE(readpng(png, &w, &h, &back));
        ASSERT_EQ(w * h, previewsize);
        EXPECT_EQ(back, opaque(designerpreview(c.script, c.actions)));
    }
}

// The designer's export kept in memory is the file txtool render writes,
// byte for byte: tests of the designer compare images without files.
TEST(PreviewPng, MemoryExportIsTheRenderedFile)
{
    std::string script = std::string(EXAMPLESDIR) + "/rock.tx", file = scratchpath("rock-memory.png"), out;
    ASSERT_EQ(txtool("render " + script + " " + file, &out), 0) << out;
    designerpreview(script);
    pngwriter writer;
    ASSERT_EQ(exportpreviewmemory(writer), 1) << writer.message;
    size_t size = 0;
    uint8_t *bytes = pngtakememory(writer, &size);
    ASSERT_NE(bytes, nullptr);
    std::ifstream f(file, std::ios::binary);
    std::vector<uint8_t> written((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(size, 263743u);
    EXPECT_TRUE(std::vector<uint8_t>(bytes, bytes + size) == written);
    std::free(bytes);
}

// A script whose expression does not compile: the compiler's message, and
// the picture of the built-in formula.
TEST(PreviewPng, TxtoolFallsBackWhenTheExpressionDoesNotCompile)
{
    SKIPWITHOUTPNGREADER();
    std::string script = makescript("broken.tx", "(d1*c1 + ");
    std::string out, png = scratchpath("broken.png");
    ASSERT_EQ(txtool("render " + script + " " + png, &out), 0) << out;

    std::vector<uint32_t> expected = designerpreview(script);
    ASSERT_EQ(texscripts.func, nullptr);
    EXPECT_NE(out.find(std::string(compileerror()) + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("built-in formula"), std::string::npos) << out;
    int w = 0, h = 0;
    std::vector<uint32_t> back;
    ASSERT_TRUE(readpng(png, &w, &h, &back));
    EXPECT_EQ(back, opaque(expected));
}

// --size 256 is the designer's preview, which has always repeated every
// 256 columns: with or without --tile, the bytes of the plain render.
TEST(PreviewPng, TxtoolSize256IsThePlainRender)
{
    std::string script = std::string(EXAMPLESDIR) + "/moss.tx", plain = scratchpath("plain.png"), out;
    ASSERT_EQ(txtool("render " + script + " " + plain + " --nolight", &out), 0) << out;
    for (const char *options : {"--size 256", "--size 256 --tile", "--tile"}) {
        std::string png = scratchpath("sized.png");
        ASSERT_EQ(txtool("render " + script + " " + png + " --nolight " + options, &out), 0) << out;
        EXPECT_TRUE(readbytes(png) == readbytes(plain)) << options;
    }
}

namespace {

// How far the differences between neighbours in the wrapped pair (the last
// column and the first; rows: the last row and the first) lie from those of
// all interior pairs together, and the farthest any interior pair lies: the
// largest gap between the cumulative distributions of |dR| + |dG| + |dB|
// (the Kolmogorov-Smirnov distance).
struct seam {
    double wrapped, interiormost;
};

seam seamof(const std::vector<uint32_t> &image, int n, bool rows)
{
    std::vector<std::vector<double>> count(size_t(n), std::vector<double>(766, 0.0));
    std::vector<double> pooled(766, 0.0);
    for (int k = 0; k < n; k++)
        for (int i = 0; i < n; i++) {
            uint32_t a = image[size_t(rows ? k * n + i : i * n + k)];
            uint32_t b = image[size_t(rows ? (k + 1) % n * n + i : i * n + (k + 1) % n)];
            int d = 0;
            for (int shift : {16, 8, 0})
                d += std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF));
            count[size_t(k)][size_t(d)] += 1.0;
            if (k + 1 < n)
                pooled[size_t(d)] += 1.0 / (double(n) * double(n - 1));
        }
    auto distance = [&](const std::vector<double> &c) {
        double own = 0.0, all = 0.0, worst = 0.0;
        for (size_t v = 0; v < c.size(); v++) {
            own += c[v] / double(n);
            all += pooled[v];
            worst = std::max(worst, std::abs(own - all));
        }
        return worst;
    };
    seam s = {distance(count.back()), 0.0};
    for (int k = 0; k + 1 < n; k++)
        s.interiormost = std::max(s.interiormost, distance(count[size_t(k)]));
    return s;
}

} // namespace

// A tiled image's opposite edges meet: the differences between the last
// column and the first (the last row and the first) are distributed as
// those between any two neighbouring columns (rows) inside. Untiled, the
// edges are unrelated: the wrapped differences stand far apart.
TEST(PreviewPng, TiledEdgesMeet)
{
    SKIPWITHOUTPNGREADER();
    const std::string examples = EXAMPLESDIR;
    const struct {
        std::string script, options;
        int side;
        bool tiled;
    } rows[] = {
        {examples + "/rock.tx", "--size 512 --tile", 512, true},
        {examples + "/crystal.tx", "--tile --size 320 --light 2", 320, true},
        {examples + "/rock.tx", "--size 512", 512, false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.script + " " + r.options);
        std::string png = scratchpath("seam.png"), out;
        ASSERT_EQ(txtool("render " + r.script + " " + png + " " + r.options, &out), 0) << out;
        int w = 0, h = 0;
        std::vector<uint32_t> image;
        ASSERT_TRUE(readpng(png, &w, &h, &image));
        ASSERT_EQ(w, r.side);
        ASSERT_EQ(h, r.side);
        for (bool byrows : {false, true}) {
            seam s = seamof(image, r.side, byrows);
            SCOPED_TRACE(std::string(byrows ? "rows" : "columns") + ": wrapped " + std::to_string(s.wrapped) +
                         ", interior up to " + std::to_string(s.interiormost));
            if (r.tiled)
                EXPECT_LE(s.wrapped, s.interiormost);
            else
                EXPECT_GT(s.wrapped, 2.0 * s.interiormost);
        }
    }
}

TEST(PreviewPng, TxtoolRefusesBadInputAndWritesNothing)
{
    std::string dir = scratchpath("out");
    mkdir(dir.c_str(), 0777);
    std::string notscript = scratchpath("junk.tx");
    writebytes(notscript, {'T', 'x', 'Q', 'V', 0, 0, 0, 0});
    std::string good = std::string(EXAMPLESDIR) + "/rock.tx";
    mkdir((dir + "/taken.png").c_str(), 0777);
    struct badcase {
        std::string args;
        int code;
        const char *message;
    };
    const badcase cases[] = {
        {"render", 2, "usage: txtool render"},
        {"render " + good, 2, "usage: txtool render"},
        {"render " + good + " " + dir + "/a.png extra", 2, "unexpected argument 'extra'"},
        {"render " + good + " " + dir + "/a.png --light", 2, "--light needs an angle"},
        {"render " + good + " " + dir + "/a.png --light 1x", 2, "--light needs an angle"},
        {"render " + good + " " + dir + "/a.png --light nan", 2, "--light needs an angle"},
        {"render " + good + " " + dir + "/a.png --shadows", 2, "unknown option '--shadows'"},
        {"render " + good + " " + dir + "/a.png --size", 2, "--size needs a side of 64 to 4096 pixels, a multiple of 32 (got '')"},
        {"render " + good + " " + dir + "/a.png --size 100", 2, "(got '100')"},
        {"render " + good + " " + dir + "/a.png --size 32", 2, "--size needs a side"},
        {"render " + good + " " + dir + "/a.png --size 4128", 2, "--size needs a side"},
        {"render " + good + " " + dir + "/a.png --size 512px", 2, "--size needs a side"},
        {"render " + good + " " + dir + "/a.png --size 4294967808", 2, "--size needs a side"},
        {"render " + good + " " + dir + "/a.png --tile --size 1e3", 2, "--size needs a side"},
        {"render " + dir + "/missing.tx " + dir + "/a.png", 1, "cannot open"},
        {"render " + notscript + " " + dir + "/a.png", 1, "is not a texture script"},
        {"render " + good + " " + dir + "/none/a.png", 1, "none/a.png"},
        {"render " + good + " " + dir + "/taken.png", 1, "taken.png"},
    };
    for (const badcase &c : cases) {
        std::string out;
        EXPECT_EQ(txtool(c.args, &out), c.code) << c.args << "\n" << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.args << "\n" << out;
    }
    EXPECT_EQ(listdir(dir), std::vector<std::string>{"taken.png"});
    EXPECT_TRUE(listdir(dir + "/taken.png").empty());
}

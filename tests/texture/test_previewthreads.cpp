// The colour stage on several threads gives the image of one thread, pixel
// for pixel; an expression drawing random numbers stays on one thread and
// keeps the exact sequence of its draws.
#include "compiler.h"
#include "designer.h"
#include "preview.h"
#include "random.h"
#include "texscript.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string header = "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n";

std::vector<uint32_t> colouredwith(int threads)
{
    std::memset(preview.image, 0x5A, sizeof preview.image);    // no pixel left from an earlier pass
    setcolourthreads(threads);
    colourpreview();
    setcolourthreads(0);
    return std::vector<uint32_t>(preview.image, preview.image + previewsize);
}

TEST(PreviewThreads, ImageIsTheSameOnOneAndOnSeveralThreads)
{
    resetlibraryrand();
    resetpreview();
    startdesigner();
    ASSERT_EQ(renderpreview(1, 1), 1);
    const struct {
        const char *what;
        const char *body;       // null: no compiled expression (the fallback formula)
    } rows[] = {
        {"default expression", "(d1*c1 + d2*c2 + d3/(abs(sin(d3*.1))+1)*c3 + (c4+fn+1)*16)*sc"},
        {"branches and powers", "crack = max(0, 1 - (d2 - d1)*0.5);\nr = 0; if (vx > 128) r = pow(fn + 4, 1.5);\n(c4 + r*c2 - crack*c1*4)*sc"},
        {"fallback formula", nullptr},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        texscripts.func = r.body ? compileexpr((header + r.body).c_str()) : nullptr;
        ASSERT_TRUE(!r.body || texscripts.func) << compileerror();
        ASSERT_FALSE(texscripts.func && exprdrawsrandom(texscripts.func));
        std::vector<uint32_t> one = colouredwith(1);
        for (int threads : {2, 3, 4})
            EXPECT_EQ(colouredwith(threads), one) << threads << " threads";
    }
}

TEST(PreviewThreads, RandomDrawingExpressionKeepsItsSequence)
{
    resetlibraryrand();
    resetpreview();
    startdesigner();
    ASSERT_EQ(renderpreview(1, 1), 1);
    texscripts.func = compileexpr((header + "d1*c1 + rnd*64 + nrnd*8").c_str());
    ASSERT_NE(texscripts.func, nullptr) << compileerror();
    ASSERT_TRUE(exprdrawsrandom(texscripts.func));
    exprseed(7);
    std::vector<uint32_t> one = colouredwith(1);
    exprseed(7);
    EXPECT_EQ(colouredwith(4), one);
    exprseed(7);
    colouredwith(1);
    EXPECT_NE(colouredwith(1), one);    // the sequence goes on: a second pass differs
}

} // namespace

// Compiled code is freed: exprfree releases a buffer and the registry forgets
// it, exprrelease frees what the compiler keeps for itself, and many compiles
// and frees leave the process as large as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "compiler.h"
#include "state.h"

namespace {

// Resident set of this process in bytes (0 if /proc cannot tell).
long residentbytes()
{
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    long size = 0, resident = 0;
    int got = std::fscanf(f, "%ld %ld", &size, &resident);
    std::fclose(f);
    return got == 2 ? resident * sysconf(_SC_PAGESIZE) : 0;
}

TEST(CodeMemory, ManyCompilesAndFreesDoNotGrowTheProcess)
{
    const int rounds = 20000;    // one page each: 80 MB if nothing were freed
    const int live = exprlivecode();
    exprfunc warm = compileexpr("(x,y)\nsin(x)*y+1");
    exprfree(warm);
    [[maybe_unused]] const long before = residentbytes();
    for (int i = 0; i < rounds; i++) {
        std::string text = "(x,y)\nsin(x)*y+" + std::to_string(i);
        exprfunc f = compileexpr(text.c_str());
        ASSERT_NE(f, nullptr) << compileerror();
        if (i % 1000 == 0) {
            double args[2] = {0, 2};
            ASSERT_EQ(exprcall(f, args, 2), double(i));
        }
        exprfree(f);
    }
    EXPECT_EQ(exprlivecode(), live);
    // AddressSanitizer holds freed heap blocks back in its quarantine, so the
    // process's size says nothing about the code pages there.
#if !defined(__SANITIZE_ADDRESS__)
    if (before > 0) {
        EXPECT_LT(residentbytes() - before, 16L << 20) << "the code pages must go back";
    }
#endif
}

TEST(CodeMemory, FreedCodeIsForgotten)
{
    const int live = exprlivecode();
    exprfree(nullptr);
    exprfunc r = compileexpr("(x)\nrnd*x");
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(exprdrawsrandom(r));
    EXPECT_EQ(exprlivecode(), live + 1);
    EXPECT_NE(exprlist(2)[0], '\n');
    exprfree(r);
    EXPECT_FALSE(exprdrawsrandom(r));
    EXPECT_EQ(exprlivecode(), live);
    EXPECT_STREQ(exprlist(2), "\n") << "the listing shows no bytes of freed code";
    exprfree(r);                       // a second free of the same entry does nothing
    EXPECT_EQ(exprlivecode(), live);

    // A new buffer at the same address (mmap hands pages out again) is
    // judged by its own code.
    for (int i = 0; i < 4; i++) {
        exprfunc a = compileexpr("(x)\nrnd*x");
        exprfree(a);
        exprfunc b = compileexpr("(x)\nx*2");
        EXPECT_FALSE(exprdrawsrandom(b));
        exprfree(b);
    }
}

TEST(CodeMemory, TheCompilerKeepsOneForeignBufferAndReleaseFreesIt)
{
    const exprflavour other = nativeflavour == flavourx64 ? flavouria32 : flavourx64;
    const int live = exprlivecode();
    setexprflavour(other);
    for (int i = 0; i < 5; i++)
        ASSERT_NE(compileexpr("(x)\nx*3+1"), nullptr);
    setexprflavour(nativeflavour);
    EXPECT_EQ(exprlivecode(), live + 1) << "only the last foreign buffer is kept, for the listing";
    exprfunc mine = compileexpr("(x)\nx+1");
    exprrelease();
    EXPECT_EQ(exprlivecode(), live + 1) << "code handed to a caller stays the caller's";
    EXPECT_EQ(cs.capacity, 0u);
    double one = 1;
    EXPECT_EQ(exprcall(mine, &one, 1), 2.0);
    exprfree(mine);
    EXPECT_EQ(exprlivecode(), live);
}

} // namespace

// The compiler's front end, optimiser and listing: language examples in both
// dialects, every message, preprocessing, growth, labels, simplified quads,
// listing format and hostile texts.
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>
#include "codegen.h"
#include "compiler.h"
#include "state.h"

namespace {

struct dialectscope {
    explicit dialectscope(exprdialect d) { setexprdialect(d); }
    ~dialectscope() { setexprdialect(dialectpelmora); }
};

// Compile; the error text when it fails, "" when it compiles.
std::string errorof(const std::string &text, exprdialect d)
{
    dialectscope scope(d);
    exprfunc f = compileexpr(text.c_str());
    return f ? "" : compileerror();
}

double run(const std::string &text, std::vector<double> args)
{
    exprfunc f = compileexpr(text.c_str());
    EXPECT_NE(f, nullptr) << text << ": " << compileerror();
    if (!f)
        return NAN;
    return exprcall(f, args.data(), (int)args.size());
}

std::string quadsof(const std::string &text)
{
    exprfunc f = compileexpr(text.c_str());
    EXPECT_NE(f, nullptr) << text << ": " << compileerror();
    return exprlist(1);
}

std::string repeat(const std::string &s, int n)
{
    std::string r;
    for (int i = 0; i < n; i++)
        r += s;
    return r;
}

}  // namespace

// The language's examples: body after the header (x), argument, result.
TEST(Language, ExamplesGiveTheirValues)
{
    struct row {
        const char *body;
        double x, expected;
    };
    const row rows[] = {
        {"x", 7.25, 7.25},
        {"-x^2", 3, 9},
        {"-x^2", -3, 9},
        {"2^3^2", 0, 64},
        {"sqr(9)", 0, 3},
        {"int(-1.5)", 0, -2},
        {"ceil(-1.5)", 0, -1},
        {"-7 % 3", 0, 2},
        {"fmod(-7, 3)", 0, -1},
        {"unit(0)", 0, 0.5},
        {"sgn(0)", 0, 0},
        {"a = 0; for (i = 0; i < 10; i += 1) a += i; a", 0, 45},
        {"IF (x > 0) y = 1; ELSE y = 2; y", 5, 1},
        {"IF (x > 0) y = 1; ELSE y = 2; y", -5, 2},
        {"x - (-1)", 4, 5},
        {"pi", 0, 3.141592653589793},
        {"-pi", 0, -3.141592653589793},
        {"1E-3 + .5 + 2.", 0, 2.501},
        {"i = 0; DO i += 1; WHILE (i < x); i", 5, 5},
        {"i = 0; DO { i += 1; } WHILE (i < x); i", 0, 1},
        {"i = 0; WHILE (i < x) i += 2; i", 5, 6},
        {"i = 0; L: i++; IF (i < x) GOTO L; i", 4, 4},
        {"IF (x < 0) y = -1; ELSE IF (x == 0) y = 0; ELSE y = 1; y", 0, 0},
        {"IF (x < 0) y = -1; ELSE IF (x == 0) y = 0; ELSE y = 1; y", -2, -1},
        {"IF (x < 0) y = -1; ELSE IF (x == 0) y = 0; ELSE y = 1; y", 2, 1},
        {"z = 1; IF (x > 1) { z = 2; z *= x; } z", 3, 6},
        {"y = x; y--; y -= 1, y /= 2; y", 10, 4},
        {"y = x; y %= 3; y", -7, 2},
        {"min(x, 2) + max(x, 2)", 5, 7},
        {"(x > 1) + (x >= 1) + (x < 1) + (x <= 1) + (x == 1) + (x != 1)", 1, 3},
        {"(x && 0) + (x && 2) + (0 || x) + (x || 0)", 3, 3},
        {"abs(-x) + sgn(-x) + unit(-x)", 2, 1},
        {"atan2(1, 1) * 4", 0, 3.141592653589793},
        {"ifx = 2; done = 3; ifx * done", 0, 6},
        {"/* ( */ x // (\n + 1", 1, 2},
        {"fact(4)", 0, 24},
        {"fact(x)", 4, 24},
        {"pow(-2, x)", 3, -8},
        {"log(8, 2)", 0, 3},
    };
    for (const row &r : rows) {
        std::string text = std::string("(x)\n") + r.body;
        EXPECT_NEAR(run(text, {r.x}), r.expected, 1e-12 * (1 + std::fabs(r.expected))) << r.body;
    }
}

TEST(Language, CaseAndHeaderNames)
{
    EXPECT_EQ(run("(VX)\nSIN(vx)", {0.5}), run("(vx)\nsin(VX)", {0.5}));
    EXPECT_EQ(run("(Vx)\nvx", {3}), 3);
    EXPECT_EQ(run("text before (a,b_2,c)\na - b_2 * c", {1, 2, 3}), -5);
    EXPECT_EQ(run("()\n6*7", {}), 42);
}

TEST(Language, DefaultTextureExpressionCompiles)
{
    const char *text = "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n"
                       "(d1*c1 + d2*c2 + d3/(abs(sin(d3*.1))+1)*c3 + (c4+fn+1)*16)*sc";
    double a[12] = {1, 2, 3, 0.5, 0.25, 2, 1, 2, 3, 0.5, 0.1, 0.01};
    double d3 = 2;
    double expected = (0.5 * 1 + 0.25 * 2 + d3 / (std::fabs(std::sin(d3 * .1)) + 1) * 3 + (0.5 + 0.1 + 1) * 16) * 0.01;
    exprfunc f = compileexpr(text);
    ASSERT_NE(f, nullptr) << compileerror();
    EXPECT_NEAR(exprcall(f, a, 12), expected, 1e-14);
}

TEST(Language, CompilationsAreIndependent)
{
    ASSERT_NE(compileexpr("(x)\nlocal = 2; L: local * x"), nullptr);
    EXPECT_EQ(errorof("(x)\nlocal * x", dialectpelmora), "ERROR: LOCAL undefined");
    EXPECT_EQ(errorof("(x)\nGOTO L; x", dialectpelmora), "ERROR: label L not found");
}

// Every message in both wordings.
TEST(Messages, BothDialects)
{
    struct row {
        std::string text, pelmora, vrastik;
    };
    const row rows[] = {
        {"(x)\n  \n\t ", "ERROR: no function defined", "ERROR: no function defined"},
        {"(x)", "ERROR: no function defined", "ERROR: no function defined"},
        {"(a,,b)\na", "ERROR: blank param", "ERROR: Can't have blank paramaeter"},
        {"(a,b,)\na", "ERROR: blank param", "ERROR: Can't have blank paramaeter"},
        {"(a,b-c)\na", "ERROR: '-' bad char for variable name", "ERROR: '-' Invalid char for variable name"},
        {"(x)\nx)", "ERROR: too many )", "ERROR: Too many ')'"},
        {"(x)\n(x", "ERROR: not enough )", "ERROR: Not enough ')'"},
        {"(x)\n" + repeat("(", 17) + "x" + repeat(")", 17), "ERROR: () nested > 16", "ERROR: () Nested > 16"},
        {"(x)\nGOTO L; x", "ERROR: label L not found", "ERROR: label L not found"},
        {"(x)\nIF (x > 0) y = 1;", "ERROR: missing return value", "ERROR: NO RETURN VALUE AT END"},
        {"(x)\nL: x = 1; GOTO L", "ERROR: missing return value", "ERROR: NO RETURN VALUE AT END"},
        {"(x)\n;", "ERROR: missing return value", "ERROR: NO RETURN VALUE AT END"},
        {"(x)\nsin(x, 1)", "ERROR: SIN doesn't take 2 params", "ERROR: function has wrong # of parameters"},
        {"(x)\npow(x)", "ERROR: POW doesn't take 1 param", "ERROR: function has wrong # of parameters"},
        {"(x)\nlog(x, 2, 3)", "ERROR: LOG doesn't take 3 params", "ERROR: function has wrong # of parameters"},
        {"(x)\nint(x, 2)", "ERROR: FLOOR doesn't take 2 params", "ERROR: function has wrong # of parameters"},
        {"(x)\nabs()", "ERROR: ABS doesn't take 0 params", "ERROR: function has wrong # of parameters"},
        {"(x)\n(x, 1)", "ERROR: NOP doesn't take 2 params", "ERROR: function has wrong # of parameters"},
        {"(x)\nFOR (i = 0; i < 3) x", "ERROR: FOR needs 3 fields", "ERROR: FOR has wrong # of parameters"},
        {"(x)\nDO x = 1", "ERROR: DO missing statement", "ERROR: DO without statement"},
        {"(x)\nDO x = 1; x", "ERROR: DO needs WHILE", "ERROR: DO without WHILE"},
        {"(x)\nDO x = 1; WHILE (x, 1); x", "ERROR: DO takes 1 param", "ERROR: DO has wrong # of parameters"},
        {"(x)\nDO x = 1; WHILE (x < 0) x", "ERROR: missing ; after WHILE", "ERROR: missing ; after WHILE"},
        {"(x)\nWHILE (x < 0) x = 1", "ERROR: DO needs statement", "ERROR: DO without statement"},
        {"(x)\nFOR (i = 0; i < 1; i += 1) x = 1", "ERROR: DO needs statement", "ERROR: DO without statement"},
        {"(x)\nGOTO; x", "ERROR: GOTO needs label", "ERROR: GOTO must have label"},
        {"(x)\nIF (x, 1) x = 1; x", "ERROR: IF takes 1 param", "ERROR: IF has wrong # of parameters"},
        {"(x)\nIF (x) x = 1", "ERROR: IF needs statement", "ERROR: IF without statement"},
        {"(x)\nIF (x) x = 1; ELSE x = 2", "ERROR: ELSE needs statement", "ERROR: ELSE without statement"},
        {"(x)\nWHILE (x, 1) x = 1; x", "ERROR: WHILE takes 1 param", "ERROR: WHILE has wrong # of parameters"},
        {"(x)\nx - -1", "ERROR: missing ;", "ERROR: Missing ;"},
        {"(x)\ny = 2", "ERROR: missing ;", "ERROR: Missing ;"},
        {"(x)\ny = ; y", "ERROR: blank function", "ERROR: Blank expression not allowed"},
        {"(x)\nx = ; x", "ERROR: blank function", "ERROR: Blank expression not allowed"},
        {"(x)\n: x", "ERROR: : needs label", "ERROR: ':' found without label"},
        {"(x)\ny + 1", "ERROR: Y undefined", "ERROR: Y undefined"},
        {"(x)\n!x", "ERROR:  undefined", "ERROR:  undefined"},
        {"(x)\nfoo(x)", "ERROR: FOO undefined", "ERROR: FOO undefined"},
        {"(x)\n" + repeat("IF (x) ", 300) + "x = 1; x", "ERROR: statements nested > 256",
         "ERROR: Statements Nested > 256"},
    };
    for (const row &r : rows) {
        EXPECT_EQ(errorof(r.text, dialectpelmora), r.pelmora) << r.text;
        EXPECT_EQ(errorof(r.text, dialectvrastik), r.vrastik) << r.text;
    }
}

TEST(Messages, HeaderErrorsComeFirstThenTheDepthChecksInOrder)
{
    EXPECT_EQ(errorof("(a,,b))\n", dialectpelmora), "ERROR: blank param");
    EXPECT_EQ(errorof("(x)\n)(", dialectpelmora), "ERROR: no function defined");   // the pass stops at once
    EXPECT_EQ(errorof("(x)\nx)(", dialectpelmora), "ERROR: too many )");
    EXPECT_EQ(errorof("(x)\n" + repeat("(", 20) + "x", dialectpelmora), "ERROR: not enough )");
    EXPECT_EQ(errorof("(x)\n" + repeat("(", 16) + "x" + repeat(")", 16), dialectpelmora), "");
}

TEST(Messages, MemoryFailures)
{
    setcodememoryfault(1);
    EXPECT_EQ(errorof("(x)\nx", dialectpelmora), "ERROR: malloc failed");
    setcodememoryfault(1);
    EXPECT_EQ(errorof("(x)\nx", dialectvrastik), "ERROR: COMPCODE MALLOC FAILED");
    setcodememoryfault(0);
    // The work arrays cannot be made to fail here; the wording is checked directly.
    for (exprdialect d : {dialectpelmora, dialectvrastik}) {
        dialectscope scope(d);
        cs.failed = false;
        compilefail(msgworkmalloc, noplace);
        EXPECT_STREQ(compileerror(), d == dialectpelmora ? "ERROR: malloc failed" : "ERROR: INTERNAL MALLOC FAILED");
    }
    EXPECT_NE(compileexpr("(x)\nx"), nullptr);
}

TEST(Messages, LongNamesAreCutToFit)
{
    std::string name = repeat("Q", 1000);
    std::string error = errorof("(x)\n" + name, dialectpelmora);
    EXPECT_EQ(error.size(), 255u);
    EXPECT_EQ(error.substr(0, 8), "ERROR: Q");
    EXPECT_EQ(error.substr(error.size() - 10), " undefined");
    error = errorof("(x)\nGOTO " + name + "; x", dialectvrastik);
    EXPECT_EQ(error.size(), 255u);
    EXPECT_EQ(error.substr(error.size() - 10), " not found");
}

// Preprocessing: the body as the parser sees it.
TEST(Preprocess, CommentsBlanksCaseAndHeader)
{
    struct row {
        const char *text, *body, *names;
    };
    const row rows[] = {
        {"(x)\n a /* ( */ b // (\n c", "A B C", "X"},
        {"(x) goto  l1", "GOTO L1", "X"},
        {"(x)\nx - -1", "X--1", "X"},
        {"(x)\r\n\tsin ( x )", "SIN(X)", "X"},
        {"ignored(Aa,b_1)a/**/b", "A B", "AA B_1"},
        {"(x)x /* never closed (", "X", "X"},
        {"(x)x // (", "X", "X"},
    };
    ASSERT_NE(compileexpr("(x)\nx"), nullptr);
    for (const row &r : rows) {
        ASSERT_TRUE(resetstate());
        std::vector<char> scratch(strlen(r.text) + 1);
        std::vector<uint32_t> origin(strlen(r.text) + 1);
        char *body = preprocess(r.text, scratch.data(), origin.data());
        ASSERT_NE(body, nullptr) << r.text << ": " << compileerror();
        EXPECT_STREQ(body, r.body) << r.text;
        std::string names;
        for (uint32_t i = 0; i < cs.namecount; i++)
            names += std::string(i ? " " : "") + nametext(i);
        EXPECT_EQ(names, r.names) << r.text;
        EXPECT_EQ(cs.paramcount, (int)cs.namecount);
    }
}

TEST(Growth, ArraysGrowByQuarters)
{
    exprrelease();
    EXPECT_EQ(cs.capacity, 0u);
    std::string text = "(x)\n" + repeat("x+", 1499) + "x";
    EXPECT_EQ(run(text, {2}), 3000);
    // 1 sentinel + 1500 loads + 1499 sums: the capacity went 1024, 1280, ... past index 2999
    uint32_t expected = 1024;
    while (expected <= 2999)
        expected += expected / 4;
    EXPECT_EQ(cs.capacity, expected);
    EXPECT_EQ(expected, 3125u);
    std::string locals = "(x)\n";
    for (int i = 0; i < 400; i++)
        locals += "v" + std::to_string(i) + "= x + " + std::to_string(i) + ";";
    for (int i = 0; i < 300; i++)
        locals += "GOTO g" + std::to_string(i) + "; g" + std::to_string(i) + ":";
    EXPECT_EQ(run(locals + "v399 - v1", {1}), 398);
    EXPECT_EQ(cs.labelcount, 300u);
    EXPECT_GT(cs.labelcapacity, 300u);
}

TEST(Labels, NumbersInOrderOfFirstAppearance)
{
    ASSERT_NE(compileexpr("(x)\nGOTO B; A: x = 1; B: IF (x) GOTO A; C: x"), nullptr);
    ASSERT_EQ(cs.labelcount, 3u);
    EXPECT_STREQ(labelnametext(0), "B");
    EXPECT_STREQ(labelnametext(1), "A");
    EXPECT_STREQ(labelnametext(2), "C");
    // B and A are consecutive; the IF's hidden label comes before C
    EXPECT_EQ(cs.labelentries[0], 1u);
    EXPECT_EQ(cs.labelentries[1], 2u);
    EXPECT_EQ(cs.labelentries[2], 4u);
}

// The simplified quads, as the listing shows them.
TEST(Optimiser, SimplifiedQuads)
{
    struct row {
        const char *text, *quads;
    };
    const row rows[] = {
        {"(x)\nx*1", "l0:r0 = X\n"},
        {"(x)\nx/1", "l0:r0 = X\n"},
        {"(x)\nx+0", "l0:r0 = X\n"},
        {"(x)\nx-0", "l0:r0 = X\n"},
        {"(x)\nx^1", "l0:r0 = X\n"},
        {"(x)\nx*0", "l0:r0 = 0\n"},
        {"(x)\nx-x", "l0:r0 = 0\n"},
        {"(x)\nx^2", "l0:r0 = X * X\n"},
        {"(x)\nx^0.5", "l0:r0 = SQRT(X)\n"},
        {"(x)\nx^0", "l0:r0 = 1\n"},
        {"(x)\nx^-1", "l0:r0 = 1 / X\n"},
        {"(x)\n1^x", "l0:r0 = 1\n"},
        {"(x)\n-1*x", "l0:r0 = -X\n"},
        {"(x)\nx*2", "l0:r0 = X + X\n"},
        {"(x)\nx/-1", "l0:r0 = -X\n"},
        {"(x)\nx/0.5", "l0:r0 = X + X\n"},
        {"(x)\nx/4", "l0:r0 = X * 0.25\n"},
        {"(x)\n0-x", "l0:r0 = -X\n"},
        {"(x)\nx != 0", "l0:r0 = X != 0\n"},
        {"(x)\nx && 0", "l0:r0 = 0\n"},
        {"(x)\nx && 5", "l0:r0 = X != 0\n"},
        {"(x)\n3 || x", "l0:r0 = 1\n"},
        {"(x)\n0 || x", "l0:r0 = X != 0\n"},
        {"(x)\natan2(x, 1)", "l0:r0 = ATAN(X)\n"},
        {"(x)\n2*3+1", "l0:r0 = 7\n"},
        {"(x)\nIF (1) y = 1; ELSE y = 2; y", "l0:r0 = 1\n"},
        {"(x)\nIF (0) y = 1; ELSE y = 2; y", "l0:r0 = 2\n"},
        {"(a,b)\n(a < b) != 0", "l0:r0 = A < B\n"},
        {"(a,b)\n((a < b) + 3) != 0", "l0:r0 = A < B\n   r0 = r0 + 3\n   r0 = r0 != 0\n"},
        {"(x)\ny = rnd; z = nrnd; x", "l0:r0 = X\n"},
        {"(x)\nx*x+1", "l0:r0 = X * X\n   r0 = r0 + 1\n"},
        {"(x)\nGOTO L; x = 5; L: x", "l0:r0 = X\n"},
    };
    for (const row &r : rows)
        EXPECT_EQ(quadsof(r.text), r.quads) << r.text;
}

TEST(Optimiser, EqualZerosShareOnePoolEntry)
{
    ASSERT_NE(compileexpr("(x)\nmin(x, 0.0) + max(x, -0.0)"), nullptr);
    EXPECT_EQ(cs.constcount, 1u);
}

TEST(Optimiser, InvertedBranchAndLoopsKeepTheirMeaning)
{
    // IF0 c, L1; GOTO L2; L1: becomes one IF1
    std::string quads = quadsof("(x)\ny = 0; L: y += 1; IF (y < x) GOTO L; y");
    EXPECT_EQ(quads.find("IF !("), std::string::npos) << quads;
    EXPECT_NE(quads.find("IF ("), std::string::npos) << quads;
    // a copy read on the next turn of a loop must stay
    EXPECT_EQ(run("(x)\nt = 0; s = 0; i = 0; L: s += t; t = i; i += 1; IF (i < x) GOTO L; s", {4}), 0 + 0 + 1 + 2);
    EXPECT_EQ(run("(x)\np = 0; s = 0; FOR (i = 0; i < x; i += 1) { s += p; q = i * 2; p = q; } s", {4}), 0 + 0 + 2 + 4);
    // a comparison writer before a join does not make NEQU0 redundant
    EXPECT_EQ(run("(x)\nt = 5; IF (x > 0) t = x < 3; t != 0", {-1}), 1);
    EXPECT_EQ(run("(x)\nt = 5; IF (x > 0) t = x < 3; t", {-1}), 5);
}

TEST(Listing, QuadsAndHexDump)
{
    ASSERT_NE(compileexpr("(x)\nx*x+1"), nullptr);
    EXPECT_STREQ(exprlist(1), "l0:r0 = X * X\n   r0 = r0 + 1\n");
    std::ostringstream dump;
    dump << std::hex << std::setfill('0');
    for (int i = 0; i < exprcodesize(); i++) {
        if (i % 16 == 0)
            dump << (i ? "\n" : "") << std::setw(6) << i << "  ";
        dump << std::setw(2) << (int)cs.code[i] << " ";
    }
    dump << std::dec << " (" << exprcodesize() << " bytes)\n";
    EXPECT_EQ(exprlist(2), dump.str());
    EXPECT_EQ(std::string(exprlist(3)), "l0:r0 = X * X\n   r0 = r0 + 1\n" + dump.str());
    // labels stand side by side before the next instruction
    ASSERT_NE(compileexpr("(x)\nIF (x < 0) y = -1; ELSE IF (x == 0) y = 0; ELSE y = 1; y"), nullptr);
    EXPECT_NE(std::string(exprlist(1)).find(":l"), std::string::npos) << exprlist(1);
    const unsigned char *code = cs.code;
    cs.code = nullptr;
    EXPECT_STREQ(exprlist(2), "\n");
    cs.code = code;
}

TEST(Listing, SpillSlotsAndCutAtTheBufferEnd)
{
    // ia32 keeps four temporaries in registers, so the sixth spills; x64
    // keeps up to seven when the templates leave room.
    const char *six = "(x,y)\na = x*2; b = x*3; c = x*4; d = x*5; e = x*6; a+b+c+d+e+y";
    setexprflavour(flavouria32);
    ASSERT_NE(compileexpr(six), nullptr);
    setexprflavour(nativeflavour);
    std::string quads = exprlist(1);
    EXPECT_NE(quads.find("m0"), std::string::npos) << quads;
    EXPECT_NE(quads.find("Y"), std::string::npos) << quads;
    setexprflavour(flavourx64);
    ASSERT_NE(compileexpr(six), nullptr);
    setexprflavour(nativeflavour);
    quads = exprlist(1);
    EXPECT_EQ(quads.find("m0"), std::string::npos) << quads;
    EXPECT_NE(quads.find("r5"), std::string::npos) << quads;
    ASSERT_NE(compileexpr(("(x)\n" + repeat("x*sin(x)+", 1500) + "x").c_str()), nullptr);
    EXPECT_EQ(strlen(exprlist(3)), 16383u);
}

// Hostile texts: a function or a message placed in the text, never a crash or a hang.
TEST(Hostile, AnyTextGivesAFunctionOrAMessage)
{
    std::mt19937 random(12345);
    std::vector<std::string> texts = {
        repeat("(", 8192), repeat(")", 8192), "(x)\n" + repeat("(", 8192), "(x)\n" + repeat("{", 8192),
        "(x)\nx /* never closed", "(x)\n" + repeat("IF(x)", 5000) + "x=1;x", "(x)\n" + repeat("DO ", 5000),
        "(x)\n" + repeat("x=", 10000) + "1;x", "(" + repeat("a,", 3000) + "b)\na+b",
        "(x)\n" + repeat("-", 100000) + "x", "(x)\n" + repeat("L:", 3000) + "x",
        "(x)\n" + repeat("9", 5000) + "E99999", "(x)\nFOR(;;)x;x", "(x)\nFOR(i=0;i<1;)", "(x)\nELSE x",
    };
    for (int n = 0; n < 200; n++) {
        std::string t;
        int length = (int)(random() % 300);
        for (int i = 0; i < length; i++)
            t += (char)(1 + random() % 255);
        texts.push_back(t);
        std::string u = "(x)\n";
        const char *pieces[] = {"x", "(", ")", "+", "-", "*", "IF", "ELSE", "WHILE", "DO", "FOR", ";", ",",
                                "{", "}", "=", "GOTO ", "L", ":", "1", "sin(", "pow(", "<", "&&", " "};
        for (int i = 0; i < 40; i++)
            u += pieces[random() % (sizeof pieces / sizeof *pieces)];
        texts.push_back(u);
    }
    for (const std::string &t : texts) {
        exprfunc f = compileexpr(t.c_str());
        if (!f) {
            EXPECT_GT(strlen(compileerror()), 6u) << t.substr(0, 80);
            EXPECT_LT(strlen(compileerror()), 256u);
            EXPECT_EQ(std::string(compileerror()).substr(0, 6), "ERROR:");
            EXPECT_GE(compileerrorat(), 0) << t.substr(0, 80);
            EXPECT_LE(compileerrorat(), (int)strlen(t.c_str())) << t.substr(0, 80);
        }
    }
}

TEST(Hostile, HundredThousandOperandsRunAndAMillionAreRefused)
{
    std::string text = "(x)\n" + repeat("x+", 99999) + "x";
    EXPECT_EQ(run(text, {0.5}), 50000);
    // unsimplified, every operand would need a stack slot of its own: 8 MB
    text = "(x)\n" + repeat("x+", 999999) + "x";
    EXPECT_EQ(errorof(text, dialectpelmora), "ERROR: expression too long");
    EXPECT_EQ(errorof(text, dialectvrastik), "ERROR: Expression too long");
    EXPECT_EQ(compileerrorat(), 4);   // the whole body: placed at its start
}

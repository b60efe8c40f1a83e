// Where a compile error lies: the byte offset into the text as written, and
// its line and column. In each row an "@" (taken out before compiling) stands
// before the byte the error is placed at; line and column are counted by hand.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <utility>
#include "codegen.h"
#include "compiler.h"

namespace {

std::string repeat(const std::string &s, int n)
{
    return n > 0 ? s + repeat(s, n - 1) : std::string();
}

struct placerow {
    std::string marked;   // the text with "@" at the error's place
    int line, column;
};

// Every message about the text (but "expression too long", checked with the
// hostile texts), placed; both dialects and both flavours must agree.
const placerow placerows[] = {
    // the header
    {"(a,@,b)\na", 1, 4},                           // blank param: where the name should be
    {"(a@ b)\na", 1, 3},                            // a bad character: the blank parting two names
    {"// a (comment\n(x, /* y */ @-z)\nx", 2, 13},  // a header after a comment, a comment in it
    // no body: where the text ends, or the ")" that ended the scan
    {"@", 1, 1},
    {"(x)\n  \n\t @", 3, 3},
    {"(x)\n@)(", 2, 1},
    // parentheses
    {"(x)\nx@)", 2, 2},                             // too many )
    {"(x)\n@(x", 2, 1},                             // not enough ): the bracket left open
    {"(x)\n" + repeat("(", 16) + "@(x" + repeat(")", 17), 2, 17},   // nested > 16
    // names and operands
    {"(x)\nx + @y", 2, 5},
    {"(x)\nx/**/@y", 2, 6},                         // a comment parting two names
    {"(x)\nx +@", 2, 4},                            // an operand missing at the end of the text
    {"ignored (x)\n@y", 2, 1},
    // function and statement parameters: the function's name, the keyword
    {"(x)\n@sin(x, 1)", 2, 1},
    {"(x)\nx + @(x, 1)", 2, 5},
    {"(x)\n@FOR (i = 0; i < 3) x", 2, 1},
    {"(x)\n@IF (x, 1) x = 1; x", 2, 1},
    {"(x)\n@WHILE (x, 1) x = 1; x", 2, 1},
    {"(x)\nDO x = 1;\n@WHILE (x, 1); x", 3, 1},
    // statements: the statement that is not complete, or where a part was expected
    {"(x)\nDO @x = 1", 2, 4},
    {"(x)\nDO x = 1; @x", 2, 11},
    {"(x)\nDO x = 1; WHILE (x < 0)@ x", 2, 24},
    {"(x)\nWHILE (x < 0) @x = 1", 2, 15},
    {"(x)\nIF (x) @x = 1", 2, 8},
    {"(x)\nIF (x) x = 1; ELSE @x = 2", 2, 20},
    {"(x)\nGOTO@; x", 2, 5},
    {"(x)\n@: x", 2, 1},
    {"(x)\ny = @; y", 2, 5},
    {"(x)\n" + repeat("IF (x) ", 256) + "@IF (x) x = 1; x", 2, 1793},   // statements nested > 256
    // a missing ";": just after the statement's last byte, comments and blanks after it left out
    {"(x)\ny = 2@", 2, 6},
    {"(x)\ny = 2@   /* no ; */\n\n", 2, 6},
    {"(x)\nIF (x) { y = 2@ } x", 2, 15},
    // labels: the first use of a label never defined
    {"(x)\nIF (x) GOTO @M; GOTO M; x", 2, 13},
    // the return value: expected at the end of the body
    {"(x)\nIF (x > 0) y = 1;@ // end\n", 2, 18},
    // after comments, joined and long lines, line breaks of other systems, tabs
    {"(x) // (\n/* ( */ x +\n  /* y */ @y", 3, 11},
    {"(x)\nx +\n   x\n   + @y", 4, 6},
    {"(x)\r\nx +\r\n @y", 3, 2},
    {"(x)\nx +\r @y", 2, 6},                        // a lone CR is a byte of its line
    {"(x)\n\t\t@y", 2, 3},
    {"(x)\n" + repeat("x + ", 100) + "@q", 2, 401},
};

}  // namespace

TEST(Places, EveryMessageIsPlacedInTheTextAsWritten)
{
    for (const placerow &r : placerows) {
        ASSERT_EQ(std::count(r.marked.begin(), r.marked.end(), '@'), 1) << r.marked;
        int expected = (int)r.marked.find('@');
        std::string text = std::string(r.marked).erase(expected, 1);
        for (exprdialect d : {dialectpelmora, dialectvrastik})
            for (exprflavour f : {flavouria32, flavourx64}) {
                setexprdialect(d);
                setexprflavour(f);
                exprfunc fn = compileexpr(text.c_str());
                setexprflavour(nativeflavour);
                setexprdialect(dialectpelmora);
                ASSERT_EQ(fn, nullptr) << r.marked;
                EXPECT_EQ(compileerrorat(), expected) << r.marked << "\n" << compileerror();
            }
        exprplace p = exprplaceof(text.c_str(), expected);
        EXPECT_EQ(std::make_pair(p.line, p.column), std::make_pair(r.line, r.column)) << r.marked;
    }
    // No place after a success, nor for a failure of memory.
    ASSERT_NE(compileexpr("(x)\nx"), nullptr);
    EXPECT_EQ(compileerrorat(), -1);
    setcodememoryfault(1);
    EXPECT_EQ(compileexpr("(x)\nx"), nullptr);
    EXPECT_STREQ(compileerror(), "ERROR: malloc failed");
    EXPECT_EQ(compileerrorat(), -1);
}

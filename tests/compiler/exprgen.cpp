// Random expression texts (see exprgen.h).
#include "exprgen.h"

namespace {

uint64_t next(exprgen &g)
{
    uint64_t z = (g.state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int pick(exprgen &g, int n)
{
    return (int)(next(g) % (uint64_t)n);
}

const char *const variables[] = {"A", "b", "c", "S", "t"};   // T last
const char *const literals[] = {"0", "1", "2", "3", "0.5", "0.25", "1.5", "10", "7", "1E1", ".75", "2.", "-0.0"};
const char *const exactbinary[] = {"+", "-", "*", "/", "%", "<", "<=", ">", ">=", "==", "!=", "&&", "||"};
const char *const exactunary[] = {"ABS", "SGN", "UNIT", "FLOOR", "INT", "CEIL"};
const char *const exactpair[] = {"MIN", "MAX", "FMOD"};
// Smooth functions as prefix and suffix around their argument: TAN stays below
// pi/4 (beyond 2^63 FPTAN refuses its operand, near pi/2 any last-bit
// difference explodes), SIN and COS stay away from their zeros other than 0
// (FSIN reduces with a 66-bit pi, so it is relatively poor near pi), ASIN and ACOS stay inside (-1, 1), roots and logarithms take
// magnitudes.
struct wrapping {
    const char *prefix, *suffix;
};
const wrapping smoothunary[] = {
    {"SIN(ATAN(", "))"}, {"COS(ATAN(", ")/2)"}, {"TAN(ATAN(", ")/2)"}, {"ASIN(0.75*SIN(", "))"},
    {"ACOS(0.75*COS(ATAN(", ")))"},
    {"ATAN(", ")"}, {"ATN(", ")"}, {"SQRT(ABS(", "))"}, {"SQR(ABS(", "))"}, {"EXP(", ")"}, {"LOG(ABS(", "))"},
    {"FACT(", ")"},
};
const char *const smoothpair[] = {"POW", "ATAN2", "LOG"};

std::string expression(exprgen &g, int depth, bool smooth);

std::string leaf(exprgen &g, bool smooth)
{
    int k = pick(g, smooth ? 12 : 10);
    if (k < 5) {
        // T is the one variable that may hold an inexact value: only smooth
        // contexts read it
        int count = 3 + (g.locals > 0) + (g.locals > 1 && (smooth || !g.smooth));
        return variables[pick(g, count)];
    }
    if (k < 9)
        return literals[pick(g, sizeof literals / sizeof *literals)];
    if (k == 9)
        return "PI";
    return k == 10 ? "RND" : "NRND";
}

std::string expression(exprgen &g, int depth, bool smooth)
{
    if (depth <= 0 || pick(g, 4) == 0)
        return leaf(g, smooth);
    int kind = pick(g, smooth ? 8 : 5);
    switch (kind) {
    case 0:
    case 1: {
        const char *op = exactbinary[pick(g, sizeof exactbinary / sizeof *exactbinary)];
        // discontinuous operators take exact operands only
        bool continuous = op[0] == '+' || op[0] == '-' || op[0] == '*' || op[0] == '/';
        bool s = smooth && continuous;
        return "(" + expression(g, depth - 1, s) + op + expression(g, depth - 1, s) + ")";
    }
    case 2:
        return std::string(pick(g, 2) ? "-" : "-+-") + expression(g, depth - 1, smooth);
    case 3:
        return std::string(exactunary[pick(g, sizeof exactunary / sizeof *exactunary)]) + "(" +
               expression(g, depth - 1, false) + ")";
    case 4: {
        const char *f = exactpair[pick(g, 3)];
        bool s = smooth && f[1] != 'M';   // MIN and MAX are continuous
        return std::string(f) + "(" + expression(g, depth - 1, s) + ", " + expression(g, depth - 1, s) + ")";
    }
    case 5:
    case 6: {
        const wrapping &f = smoothunary[pick(g, sizeof smoothunary / sizeof *smoothunary)];
        return f.prefix + expression(g, depth - 1, true) + f.suffix;
    }
    default:
        if (pick(g, 3) == 0)
            return "(" + expression(g, depth - 1, true) + "^" + leaf(g, false) + ")";
        // a negative base needs an exactly integral exponent, and a logarithm's
        // base near 1 would magnify every difference: both are exact
        const char *f = smoothpair[pick(g, 3)];
        return std::string(f) + "(" + expression(g, depth - 1, true) + ", " +
               expression(g, depth - 1, f[0] == 'A') + ")";
    }
}

std::string condition(exprgen &g)
{
    return expression(g, 2, false);
}

std::string assignment(exprgen &g)
{
    static const char *const forms[] = {" = ", " += ", " -= ", " *= ", " /= ", " %= "};
    const char *target = variables[pick(g, 5)];
    int form = pick(g, 8);
    if (form == 5 && g.smooth && target[0] == 't')
        form = 0;   // no remainder of the inexact local
    if (form == 6)
        return std::string(target) + "++;";
    if (form == 7)
        return std::string(target) + "--;";
    bool s = g.smooth && form != 5 && target[0] == 't';
    return std::string(target) + forms[form] + expression(g, 3, s) + ";";
}

std::string statement(exprgen &g, int depth);

std::string block(exprgen &g, int depth)
{
    if (pick(g, 2))
        return assignment(g);
    std::string r = "{ ";
    for (int i = pick(g, 3); i >= 0; i--)
        r += statement(g, depth - 1) + " ";
    return r + "}";
}

// Loops count with their own counters I, J and K, which nothing else assigns.
std::string statement(exprgen &g, int depth)
{
    int kind = depth <= 0 ? 0 : pick(g, 9);
    std::string label;
    switch (kind) {
    case 1:
        return "IF (" + condition(g) + ") " + block(g, depth);
    case 2:
        return "IF (" + condition(g) + ") " + block(g, depth) + " ELSE " + block(g, depth);
    case 3:
        return "FOR (i" + std::to_string(depth) + " = 0; i" + std::to_string(depth) + " < " +
               std::to_string(pick(g, 4)) + "; i" + std::to_string(depth) + " += 1) " + block(g, depth);
    case 4:
        return "j" + std::to_string(depth) + " = 0; WHILE (j" + std::to_string(depth) + " < " +
               std::to_string(pick(g, 3)) + ") { " + statement(g, depth - 1) + " j" + std::to_string(depth) +
               "++; }";
    case 5:
        return "k" + std::to_string(depth) + " = 0; DO { " + statement(g, depth - 1) + " k" +
               std::to_string(depth) + " += 1; } WHILE (k" + std::to_string(depth) + " < " +
               std::to_string(1 + pick(g, 2)) + ");";
    case 6:
        label = "L" + std::to_string(g.labels++);
        return "IF (" + condition(g) + ") GOTO " + label + "; " + assignment(g) + " " + label + ":";
    default:
        return assignment(g);
    }
}

}  // namespace

void seedexprgen(exprgen &g, uint64_t seed, bool smooth)
{
    g.state = seed;
    g.smooth = smooth;
    g.labels = 0;
    g.locals = 2;
}

std::string generatetext(exprgen &g)
{
    g.labels = 0;
    g.locals = 0;
    std::string text = "(A,B,C)\nS = " + expression(g, 2, false) + ";";
    g.locals = 1;
    text += " t = " + expression(g, 2, g.smooth) + ";\n";
    g.locals = 2;
    for (int i = pick(g, 4); i > 0; i--)
        text += statement(g, 2) + "\n";
    return text + expression(g, 4, g.smooth);
}

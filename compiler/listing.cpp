// exprlist: the last compilation's quads in three-address form and its code bytes.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include "state.h"

constexpr int listingsize = 16384;
constexpr int operandtextsize = 64;

static char listing[listingsize];
static int listed;

// Append formatted text; the listing is cut at listingsize - 1 characters.
static void append(const char *format, ...)
{
    if (listed >= listingsize - 1)
        return;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(listing + listed, (size_t)(listingsize - listed), format, args);
    va_end(args);
    if (n > 0)
        listed += n;
    if (listed > listingsize - 1)
        listed = listingsize - 1;
}

// Name of parameter k, or nullptr.
static const char *paramname(uint32_t k)
{
    if (cs.paramcount < 0 || k >= (uint32_t)cs.paramcount)
        return nullptr;
    return nametext(k);
}

void operandtext(uint32_t w, char *out, int size)
{
    uint32_t index = operandindex(w);
    const char *name;
    switch (operandkind(w)) {
    case kindtemp:
        snprintf(out, (size_t)size, "m%u", index);
        return;
    case kindconst:
        if (w != dummyoperand && index < cs.constcount) {
            snprintf(out, (size_t)size, "%g", cs.pool[index]);
            return;
        }
        break;
    case kindstack:
        if (index < cs.spillcount) {
            snprintf(out, (size_t)size, "m%u", index);
            return;
        }
        name = operandvalue(w) >= cs.parambase ? paramname((operandvalue(w) - cs.parambase) / 8) : nullptr;
        if (name) {
            snprintf(out, (size_t)size, "%s", name);
            return;
        }
        break;
    case kindargument:
        if ((name = paramname(index))) {
            snprintf(out, (size_t)size, "%s", name);
            return;
        }
        break;
    case kindlabel:
        snprintf(out, (size_t)size, "l%u", operandvalue(w));
        return;
    case kindregister:
        snprintf(out, (size_t)size, "r%u", index);
        return;
    }
    snprintf(out, (size_t)size, "?");
}

static void listquads()
{
    bool afterlabel = false;
    char dst[operandtextsize], a[operandtextsize], b[operandtextsize];
    for (uint32_t i = 0; i < cs.quadcount; i++) {
        const quad &x = cs.quads[i];
        operandtext(x.dst, dst, sizeof dst);
        if (x.op == opnul) {
            append("%s:", dst);
            afterlabel = true;
            continue;
        }
        if (!afterlabel)
            append("   ");
        afterlabel = false;
        operandtext(x.src1, a, sizeof a);
        operandtext(x.src2, b, sizeof b);
        if (x.op == opgoto) {
            append("GOTO %s\n", b);
        } else if (x.op == opif0) {
            append("IF !(%s) GOTO %s\n", a, b);
        } else if (x.op == opif1) {
            append("IF (%s) GOTO %s\n", a, b);
        } else if (x.op < opcount) {
            append("%s = ", dst);
            append(optable[x.op].format, a, b);
            append("\n");
        } else {
            append("?\n");
        }
    }
    if (afterlabel)
        append("\n");
}

static void listcode()
{
    if (!cs.code) {
        append("\n");
        return;
    }
    for (int i = 0; i < cs.codesize; i++) {
        if (i % 16 == 0)
            append(i ? "\n%06x  " : "%06x  ", i);
        append("%02x ", cs.code[i]);
    }
    append(" (%d bytes)\n", cs.codesize);
}

const char *exprlist(int flags)
{
    listed = 0;
    listing[0] = 0;
    if (flags & 1)
        listquads();
    if (flags & 2)
        listcode();
    return listing;
}

void dumpquads(const char *title)
{
    fprintf(stderr, "-- after %s\n%s", title, exprlist(1));
}

// compileexpr: the steps of one compilation and the record of the code
// buffers handed out. The stages work on the state (state.cpp), never here.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <unordered_map>
#include "codegen.h"
#include "state.h"

// A body must end with a computing quad: its destination is the result.
static bool hasreturnvalue()
{
    uint32_t op = cs.quads[cs.quadcount - 1].op;
    return op != opnul && op != opgoto && op != opif0 && op != opif1;
}

// The first label still used but never defined, placed at its first use.
static bool checklabels()
{
    for (uint32_t i = 0; i < cs.labelcount; i++)
        if (cs.labelentries[i] & labelundefined) {
            compilefail(msglabelnotfound, (int32_t)cs.labelplaces[i], labelnametext(i));
            return false;
        }
    return true;
}

// Spill slots live on the caller's stack: at most 1 MB of them per call.
constexpr uint32_t maxtemporaries = 131072;

static bool fitsframe()
{
    uint32_t highest = 0;
    for (uint32_t i = 1; i < cs.quadcount; i++) {
        const quad &x = cs.quads[i];
        for (uint32_t w : {x.dst, x.src1, x.src2})
            if (istemp(w) && operandindex(w) > highest)
                highest = operandindex(w);
    }
    if (highest < maxtemporaries)
        return true;
    compilefail(msgtoolong, cs.bodystart);
    return false;
}

// Every live code buffer by entry: its size, whether it draws random
// numbers, whether it is of a foreign flavour. Asked from any thread.
struct codeinfo {
    uint32_t size;
    bool random;
};
struct coderegistry {
    std::mutex lock;
    std::unordered_map<exprfunc, codeinfo> live;
    exprfunc foreign;    // the last buffer of a foreign flavour: the compiler's own
};
static coderegistry coderecord;

static bool drawsrandom()
{
    for (uint32_t i = 0; i < cs.quadcount; i++)
        if (cs.quads[i].op == oprnd || cs.quads[i].op == opnrnd)
            return true;
    return false;
}

static void notecode(exprfunc f, bool random)
{
    std::lock_guard<std::mutex> hold(coderecord.lock);
    coderecord.live[f] = {(uint32_t)cs.codesize, random};
}

bool exprdrawsrandom(exprfunc f)
{
    std::lock_guard<std::mutex> hold(coderecord.lock);
    auto it = coderecord.live.find(f);
    return it != coderecord.live.end() && it->second.random;
}

void exprfree(exprfunc f)
{
    if (!f)
        return;
    uint32_t size = 0;
    {
        std::lock_guard<std::mutex> hold(coderecord.lock);
        auto it = coderecord.live.find(f);
        if (it == coderecord.live.end())
            return;
        size = it->second.size;
        coderecord.live.erase(it);
        if (coderecord.foreign == f)
            coderecord.foreign = nullptr;
    }
    if (cs.code == f)
        cs.code = nullptr;     // the listing shows no bytes of freed code
    releasecode((unsigned char *)f, size);
}

int exprlivecode()
{
    std::lock_guard<std::mutex> hold(coderecord.lock);
    return (int)coderecord.live.size();
}

// Code of a foreign flavour is only ever listed: the compiler keeps the
// last such buffer and frees the one before.
static void keepforeign(exprfunc f)
{
    exprfunc old;
    {
        std::lock_guard<std::mutex> hold(coderecord.lock);
        old = coderecord.foreign;
        coderecord.foreign = f;
    }
    exprfree(old);
}

static exprfunc fail()
{
    cs.quadcount = 0;
    return nullptr;
}

// The longest text: every offset into it fits an int.
constexpr size_t maxtextlength = 0x7FFFFFFF;

// Preprocess and parse the text into quads; beside each preprocessed byte
// its place in the text, for the messages.
static void readtext(const char *text)
{
    size_t length = strlen(text);
    if (length > maxtextlength) {
        compilefail(msgtoolong, (int32_t)maxtextlength);
        return;
    }
    // one block: the place of every preprocessed byte, then the bytes
    size_t entry = sizeof(uint32_t) + 1;
    void *block = length < SIZE_MAX / entry ? malloc((length + 1) * entry) : nullptr;
    if (!block) {
        compilefail(msgworkmalloc, noplace);
        return;
    }
    uint32_t *origin = (uint32_t *)block;
    char *body = preprocess(text, (char *)(origin + length + 1), origin);
    if (body) {
        cs.origin = origin;
        parsebody(body);
        cs.origin = nullptr;
    }
    free(block);
}

exprfunc compileexpr(const char *text)
{
    if (!text)
        text = "";
    if (!resetstate())
        return fail();
    readtext(text);
    if (cs.failed || !checklabels())
        return fail();
    optimise();
    if (cs.failed)
        return fail();
    if (!hasreturnvalue()) {
        compilefail(msgnoreturn, cs.bodyend);
        return fail();
    }
    if (!fitsframe())
        return fail();
    bool random = drawsrandom();
    exprfunc f = generatecode();
    if (!f || cs.failed)
        return fail();
    notecode(f, random);
    if (cs.flavour != nativeflavour)
        keepforeign(f);
    return f;
}

void exprrelease()
{
    keepforeign(nullptr);
    releasestate();
}

int exprcodesize()
{
    return cs.code ? cs.codesize : 0;
}

int exprparamcount()
{
    return cs.paramcount < 0 ? -1 : cs.paramcount;
}

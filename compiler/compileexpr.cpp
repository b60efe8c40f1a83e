// compileexpr: the work arrays, the reset and the steps of one compilation.
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <unordered_map>
#include "codegen.h"
#include "state.h"

// Capacity after growing by quarters until it exceeds `index`.
static uint32_t grown(uint32_t capacity, uint32_t initial, uint32_t index)
{
    uint64_t c = capacity ? capacity : initial;
    while (c <= index) {
        c += c / 4;
        if (c > (1u << 25))   // temporaries must fit an operand word
            return 0;
    }
    return (uint32_t)c;
}

// Reallocate one array to `count` elements of `size` bytes; keeps the old one on failure.
template <typename T> static bool resize(T *&array, uint32_t count)
{
    void *p = realloc(array, (size_t)count * sizeof(T));
    if (!p)
        return false;
    array = (T *)p;
    return true;
}

static bool outofmemory()
{
    compilefail(msgworkmalloc);
    return false;
}

bool growslots(uint32_t index)
{
    if (index < cs.capacity)
        return true;
    uint32_t c = grown(cs.capacity, slotsinitial, index);
    if (!c || !resize(cs.quads, c) || !resize(cs.opbefore, c) || !resize(cs.next, c) || !resize(cs.pool, c))
        return outofmemory();
    cs.capacity = c;
    return true;
}

bool growlabels(uint32_t index)
{
    if (index < cs.labelcapacity)
        return true;
    uint32_t c = grown(cs.labelcapacity, labelsinitial, index);
    if (!c || !resize(cs.labelentries, c) || !resize(cs.labeloffsets, c) || !resize(cs.fixups, c))
        return outofmemory();
    cs.labelcapacity = c;
    return true;
}

bool grownames(uint32_t bytes)
{
    if (bytes < cs.namescapacity)
        return true;
    uint32_t c = grown(cs.namescapacity, textinitial, bytes);
    if (!c || !resize(cs.names, c))
        return outofmemory();
    cs.namescapacity = c;
    return true;
}

bool growlocals(uint32_t index)
{
    if (index < cs.localcapacity)
        return true;
    uint32_t c = grown(cs.localcapacity, localsinitial, index);
    if (!c || !resize(cs.localbinding, c))
        return outofmemory();
    cs.localcapacity = c;
    return true;
}

bool growlabelnames(uint32_t bytes)
{
    if (bytes < cs.labelnamescapacity)
        return true;
    uint32_t c = grown(cs.labelnamescapacity, textinitial, bytes);
    if (!c || !resize(cs.labelnames, c))
        return outofmemory();
    cs.labelnamescapacity = c;
    return true;
}

// Walk zero-separated text to its i-th string.
static const char *nthstring(const char *text, uint32_t i)
{
    while (i--)
        text += strlen(text) + 1;
    return text;
}

const char *nametext(uint32_t i)
{
    return nthstring(cs.names, i);
}

const char *labelnametext(uint32_t i)
{
    return nthstring(cs.labelnames, i);
}

// Step 1: create every array with its initial capacity.
static bool createarrays()
{
    return growslots(0) && growlabels(0) && grownames(0) && growlocals(0) && growlabelnames(0);
}

// Step 2: an empty compilation with the sentinel label quad.
static void reset()
{
    cs.failed = false;
    cs.error[0] = 0;
    cs.quads[0] = {labeloperand(0), labeloperand(0), labeloperand(0), opnul};
    cs.quadcount = 1;
    cs.constcount = 0;
    cs.labelcounter = 1;
    cs.slotcount = 0;
    cs.namesused = 0;
    cs.namecount = 0;
    cs.paramcount = -1;
    cs.labelcount = 0;
    cs.labelnamesused = 0;
    cs.fixupcount = 0;
    cs.spillcount = 0;
    cs.parambase = 0;
}

// A body must end with a computing quad: its destination is the result.
static bool hasreturnvalue()
{
    uint32_t op = cs.quads[cs.quadcount - 1].op;
    return op != opnul && op != opgoto && op != opif0 && op != opif1;
}

// Step 6: the first label still used but never defined.
static bool checklabels()
{
    for (uint32_t i = 0; i < cs.labelcount; i++)
        if (cs.labelentries[i] & labelundefined) {
            compilefail(msglabelnotfound, labelnametext(i));
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
    compilefail(msgtoolong);
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

exprfunc compileexpr(const char *text)
{
    if (!text)
        text = "";
    cs.failed = false;
    if (!cs.capacity && !createarrays())
        return fail();
    reset();
    size_t length = strlen(text);
    char *scratch = (char *)malloc(length + 1);
    if (!scratch) {
        compilefail(msgworkmalloc);
        return fail();
    }
    char *body = preprocess(text, scratch);
    if (body)
        parsebody(body);
    free(scratch);
    if (cs.failed || !checklabels())
        return fail();
    optimise();
    if (cs.failed)
        return fail();
    if (!hasreturnvalue()) {
        compilefail(msgnoreturn);
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
    free(cs.quads);
    free(cs.opbefore);
    free(cs.next);
    free(cs.pool);
    free(cs.labelentries);
    free(cs.labeloffsets);
    free(cs.fixups);
    free(cs.names);
    free(cs.localbinding);
    free(cs.labelnames);
    cs.quads = nullptr;
    cs.opbefore = cs.next = nullptr;
    cs.pool = nullptr;
    cs.labelentries = cs.labeloffsets = cs.fixups = nullptr;
    cs.names = cs.labelnames = nullptr;
    cs.localbinding = nullptr;
    cs.capacity = cs.labelcapacity = cs.namescapacity = cs.localcapacity = cs.labelnamescapacity = 0;
    cs.quadcount = cs.constcount = 0;
}

int exprcodesize()
{
    return cs.code ? cs.codesize : 0;
}

int exprparamcount()
{
    return cs.paramcount < 0 ? -1 : cs.paramcount;
}

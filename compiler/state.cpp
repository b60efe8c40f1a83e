// The compiler's state `cs` and the helpers every stage shares: the reset,
// the growth of the work arrays, the constant pool and the name texts.
#include <cstdlib>
#include <cstring>
#include "state.h"

compilerstate cs{};

// Capacity after growing by quarters until it exceeds `index`; 0 past the
// most an operand word can number.
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

// Reallocate one array to `count` elements; keeps the old one on failure.
template <typename T> static bool resize(T *&array, uint32_t count)
{
    void *p = realloc(array, (size_t)count * sizeof(T));
    if (!p)
        return false;
    array = (T *)p;
    return true;
}

// Make a group's capacity exceed `index`: every array of the group gets the
// new capacity. An array already resized keeps its larger size when a later
// one fails, which costs nothing: the capacity stays the old one.
template <typename... T> static bool grow(uint32_t &capacity, uint32_t initial, uint32_t index, T *&...arrays)
{
    if (index < capacity)
        return true;
    uint32_t c = grown(capacity, initial, index);
    if (!c || !(resize(arrays, c) && ...)) {
        compilefail(msgworkmalloc, noplace);
        return false;
    }
    capacity = c;
    return true;
}

bool growslots(uint32_t index)
{
    return grow(cs.capacity, slotsinitial, index, cs.quads, cs.opbefore, cs.next, cs.pool);
}

bool growlabels(uint32_t index)
{
    return grow(cs.labelcapacity, labelsinitial, index, cs.labelentries, cs.labelplaces, cs.labeloffsets, cs.fixups);
}

bool grownames(uint32_t bytes)
{
    return grow(cs.namescapacity, textinitial, bytes, cs.names);
}

bool growlocals(uint32_t index)
{
    return grow(cs.localcapacity, localsinitial, index, cs.localbinding);
}

bool growlabelnames(uint32_t bytes)
{
    return grow(cs.labelnamescapacity, textinitial, bytes, cs.labelnames);
}

bool resetstate()
{
    cs.failed = false;
    cs.error[0] = 0;
    cs.errorplace = noplace;
    if (!(growslots(0) && growlabels(0) && grownames(0) && growlocals(0) && growlabelnames(0)))
        return false;
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
    cs.origin = nullptr;
    cs.bodystart = cs.bodyend = 0;
    return true;
}

void releasestate()
{
    free(cs.quads);
    free(cs.opbefore);
    free(cs.next);
    free(cs.pool);
    free(cs.labelentries);
    free(cs.labelplaces);
    free(cs.labeloffsets);
    free(cs.fixups);
    free(cs.names);
    free(cs.localbinding);
    free(cs.labelnames);
    cs.quads = nullptr;
    cs.opbefore = cs.next = nullptr;
    cs.pool = nullptr;
    cs.labelentries = cs.labelplaces = cs.labeloffsets = cs.fixups = nullptr;
    cs.names = cs.labelnames = nullptr;
    cs.localbinding = nullptr;
    cs.capacity = cs.labelcapacity = cs.namescapacity = cs.localcapacity = cs.labelnamescapacity = 0;
    cs.quadcount = cs.constcount = 0;
}

uint32_t addconst(double v)
{
    if (!growslots(cs.constcount))
        return dummyoperand;
    cs.pool[cs.constcount] = v;
    return constoperand(cs.constcount++);
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

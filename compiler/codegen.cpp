// Code generator: frame layout, operand rewriting, the two emission passes,
// the chain rule, prologue and epilogue, the constant pool and jump fixups.
// The per-op byte sequences live in templates.cpp, the flavour differences in
// the flavour table of emit.cpp.
#include "codegen.h"
#include "emit.h"

#include <cstring>
#include <initializer_list>

namespace {

struct framelayout {
    uint32_t homes;      // R: temporaries in x87 registers
    uint32_t spills;     // S: temporaries in 8-byte stack slots
    uint32_t base;       // B: displacement of parameter 1
    uint32_t reserve;    // bytes reserved for the spill slots (0 without)
    uint32_t copied;     // parameters copied into the frame (x64, code assigning one)
    bool inplace;        // parameters read in place through rsi (x64)
    bool pool;           // constants follow the code
    bool poolregister;   // edx holds the pool address (ia32; x64 reaches it RIP-relative)
    bool floats;         // float constants copied after the pool (x64)
};

bool isjump(uint32_t op)
{
    return op == opgoto || op == opif0 || op == opif1;
}

// Every op except labels and jumps ends with a store to its destination.
bool stores(uint32_t op)
{
    return op != opnul && !isjump(op);
}

// Does a computing quad store into a parameter?
bool assignsparameter()
{
    for (uint32_t i = 1; i < cs.quadcount; i++)
        if (stores(cs.quads[i].op) && operandkind(cs.quads[i].dst) == kindstack)
            return true;
    return false;
}

framelayout computelayout(const flavourinfo &fl)
{
    uint32_t temps = 0;
    uint32_t room = 1;       // the trailing store's value
    bool floats = false;
    for (uint32_t i = 0; i < cs.quadcount; i++) {
        const quad &q = cs.quads[i];
        for (uint32_t w : {q.dst, q.src1, q.src2})
            if (istemp(w) && operandindex(w) + 1 > temps)
                temps = operandindex(w) + 1;
        floats = floats || (fl.poolfloats && usesfloatconsts(q.op));
        if (q.op != opnul && (uint32_t)x87room(q.op) > room)
            room = (uint32_t)x87room(q.op);
    }
    uint32_t homes = 8 - room < fl.maxhomes ? 8 - room : fl.maxhomes;
    framelayout l;
    l.homes = temps < homes ? temps : homes;
    l.spills = temps - l.homes;
    l.inplace = fl.argpointer && !assignsparameter();
    l.copied = fl.argpointer && !l.inplace ? (uint32_t)cs.paramcount : 0;
    uint32_t slots = l.spills + l.copied;
    l.reserve = slots ? 8 * slots + fl.reserveextra : 0;
    if (fl.argpointer)
        l.base = l.inplace ? 0 : 8 * l.spills;
    else
        l.base = l.spills ? 8 * l.spills + fl.basespill : fl.basenospill;
    l.floats = floats;
    l.pool = cs.constcount > 0 || floats;
    l.poolregister = l.pool && !fl.riprelative;
    return l;
}

// Temporaries 0..R-1 become register homes, the rest spill slots at
// [esp + 8 (i - R)]; parameter k moves to [esp + B + 8 k], or, read in
// place, to [rsi + 8 k].
uint32_t rewriteoperand(uint32_t w, const framelayout &l)
{
    if (istemp(w)) {
        uint32_t i = operandindex(w);
        return i < l.homes ? makeoperand(kindregister, 8 * i) : makeoperand(kindstack, 8 * (i - l.homes));
    }
    if (operandkind(w) == kindstack)
        return makeoperand(l.inplace ? kindargument : kindstack, l.base + operandvalue(w));
    return w;
}

void rewriteoperands(const framelayout &l)
{
    for (uint32_t i = 0; i < cs.quadcount; i++) {
        quad &q = cs.quads[i];
        q.dst = rewriteoperand(q.dst, l);
        q.src1 = rewriteoperand(q.src1, l);
        q.src2 = rewriteoperand(q.src2, l);
    }
}

// State of one emission pass beyond the emitter itself.
struct passstate {
    int homestores[8];     // stores into each register home still in the code
    uint32_t pooloffset;   // where the pool starts (known after pass 1)
};

void notestore(passstate &ps, uint32_t w, int delta)
{
    if (inregister(w))
        ps.homestores[operandindex(w)] += delta;
}

// The value just stored to `w` is wanted in st(0) again: drop the store.
void takebackstore(emitter &e, passstate &ps, uint32_t w)
{
    e.pos -= 1 + operandsize(e, w);
    e.depth = 1;
    notestore(ps, w, -1);
}

// ABS of a value the previous quad stored elsewhere: turn that fstp into
// fst (reg field 2), keeping the value on the stack for FABS.
void keepstore(emitter &e, uint32_t w)
{
    e.pos -= operandsize(e, w);
    e.depth = 1;
    if (inregister(w))
        emitbyte(e, 0xC0 + 8 * 2 + operandindex(w) + e.depth);
    else
        emitmemory(e, 2, w);
}

// The frame's stack adjustment with the immediate -reserve: 83 /r ib up to
// 128 bytes, else 81 /r id; modrm C4 adds (prologue), EC subtracts (epilogue).
void emitframe(emitter &e, uint32_t modrm, uint32_t reserve)
{
    if (e.fl->rexw)
        emitbyte(e, 0x48);
    emitbyte(e, reserve <= 128 ? 0x83 : 0x81);
    emitbyte(e, modrm);
    if (reserve <= 128)
        emitbyte(e, (0u - reserve) & 0xFF);
    else
        emitword(e, 0u - reserve);
}

// mov rax, [rsi + 8k]; mov [rsp + B + 8k], rax for every parameter: the
// frame's own copy of the arguments, for code that assigns a parameter.
void emitcopyparameters(emitter &e, const framelayout &l)
{
    for (uint32_t k = 0; k < l.copied; k++) {
        emitbyte(e, 0x48);
        emitbyte(e, 0x8B);
        emitmemory(e, 0, makeoperand(kindargument, 8 * k));
        emitbyte(e, 0x48);
        emitbyte(e, 0x89);
        emitmemory(e, 0, makeoperand(kindstack, l.base + 8 * k));
    }
}

void emitprologue(emitter &e, const framelayout &l, uint64_t pooladdress)
{
    if (l.poolregister) {
        emitbyte(e, 0xBA);                     // mov edx, pool
        emitaddress(e, pooladdress);
    }
    if (l.reserve)
        emitframe(e, 0xC4, l.reserve);         // add esp, -reserve
    emitcopyparameters(e, l);
}

void emitbody(emitter &e, passstate &ps)
{
    for (uint32_t i = 1; i < cs.quadcount; i++) {
        const quad &q = cs.quads[i];
        const quad &prev = cs.quads[i - 1];
        if (q.op == opnul) {
            cs.labeloffsets[operandvalue(q.dst)] = e.pos;
            continue;
        }
        quadview v{q.op, q.dst, q.src1, q.src2, false, 1, 1};
        int side = 1;
        if (stores(prev.op) && chaincandidate(q, prev.dst, side)) {
            takebackstore(e, ps, prev.dst);
            v.chained = true;
            v.chainside = side;
        } else if (stores(prev.op) && q.op == opabs && q.src1 == prev.dst && q.dst != prev.dst) {
            keepstore(e, prev.dst);
            v.chained = true;
        }
        emittemplate(e, v);
        if (stores(q.op)) {
            emitstore(e, q.dst);
            notestore(ps, q.dst, 1);
        }
        emitcheck(e.depth == 0);
    }
}

// Result left in st(0); free the register homes, release the frame, return.
void emitepilogue(emitter &e, passstate &ps, const framelayout &l)
{
    takebackstore(e, ps, cs.quads[cs.quadcount - 1].dst);
    // With the result pushed, home k sits in st(k + 1): st(R) is the highest
    // home and must be freed too once anything was stored there.
    if (l.homes && ps.homestores[l.homes - 1] > 0) {
        emitbyte(e, 0xDD);
        emitbyte(e, 0xC0 + l.homes);
    }
    for (uint32_t k = l.homes ? l.homes - 1 : 0; k >= 1; k--) {
        emitbyte(e, 0xDD);                     // ffree st(k)
        emitbyte(e, 0xC0 + k);
    }
    if (l.reserve)
        emitframe(e, 0xEC, l.reserve);         // sub esp, -reserve
    emitbyte(e, 0xC3);                         // ret
    emitbyte(e, 0x0F);                         // ud2, never reached
    emitbyte(e, 0x0B);
}

void emitpool(emitter &e, passstate &ps, const framelayout &l)
{
    if (!l.pool)
        return;
    while (e.pos % 8)
        emitbyte(e, 0x90);
    ps.pooloffset = e.pos;
    for (uint32_t k = 0; k < cs.constcount; k++) {
        uint64_t bits;
        std::memcpy(&bits, &cs.pool[k], 8);
        emitword(e, (uint32_t)bits);
        emitword(e, (uint32_t)(bits >> 32));
    }
    if (!l.floats)
        return;
    for (int k = 0; k < 4; k++) {
        uint32_t bits;
        std::memcpy(&bits, (const void *)(uintptr_t)floatconstaddress(k), 4);
        emitword(e, bits);
    }
}

void emitall(emitter &e, passstate &ps, const framelayout &l, uint64_t pooladdress)
{
    emitprologue(e, l, pooladdress);
    emitbody(e, ps);
    emitepilogue(e, ps, l);
    emitpool(e, ps, l);
    emitcheck(e.depth == 1);
}

constexpr uint32_t nooffset = 0xFFFFFFFFu;

void clearlabeloffsets()
{
    for (uint32_t n = 0; n < cs.labelcounter && n < cs.labelcapacity; n++)
        cs.labeloffsets[n] = nooffset;
}

// Each rel32 holds its label number; make it the distance to the label.
void patchjumps(const emitter &e)
{
    for (uint32_t f = 0; f < e.fixupcount; f++) {
        unsigned char *field = e.buf + cs.fixups[f] - 4;
        uint32_t label = field[0] | field[1] << 8 | field[2] << 16 | (uint32_t)field[3] << 24;
        emitcheck(label < cs.labelcounter && cs.labeloffsets[label] != nooffset);
        uint32_t rel = cs.labeloffsets[label] - cs.fixups[f];
        for (int i = 0; i < 4; i++)
            field[i] = rel >> (8 * i) & 0xFF;
    }
}

bool endsincode()
{
    if (cs.quadcount < 2)
        return false;
    return stores(cs.quads[cs.quadcount - 1].op);
}

} // namespace

exprfunc generatecode()
{
    if (!endsincode()) {
        compilefail(msgnoreturn, cs.bodyend);
        return nullptr;
    }
    const flavourinfo &fl = flavours[cs.flavour == flavourx64 ? 1 : 0];
    framelayout l = computelayout(fl);
    rewriteoperands(l);
    cs.spillcount = l.spills;
    cs.parambase = l.base;

    emitter count{};
    count.fl = &fl;
    count.homes = (int)l.homes;
    count.poolsize = cs.constcount;
    passstate counted{};
    emitall(count, counted, l, 0);

    uint32_t size = count.pos == 16 ? 17 : count.pos;
    unsigned char *buf = allocatecode(size);
    if (!buf) {
        compilefail(msgcodemalloc, noplace);
        return nullptr;
    }
    emitter write = count;
    write.buf = buf;
    write.pos = 0;
    write.depth = 0;
    write.fixupcount = 0;
    write.poolstart = counted.pooloffset;
    passstate written{};
    clearlabeloffsets();
    emitall(write, written, l, (uint64_t)(uintptr_t)buf + counted.pooloffset);
    emitcheck(write.pos == count.pos);
    emitcheck(written.pooloffset == counted.pooloffset);
    if (write.failed) {
        releasecode(buf, size);
        return nullptr;
    }
    cs.fixupcount = write.fixupcount;
    patchjumps(write);
    if (!sealcode(buf, size, cs.flavour == nativeflavour)) {
        releasecode(buf, size);
        compilefail(msgcodemalloc, noplace);
        return nullptr;
    }
    cs.code = buf;
    cs.codesize = (int)size;
    return buf;
}

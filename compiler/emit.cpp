// Operand encoders, x87 bookkeeping and the flavour table of the emitter.
#include "emit.h"
#include "runtime.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The only place the two flavours differ. ia32 is the 32-bit design byte
// for byte; x64 keeps every x87 instruction and changes only the addressing
// and calling: wider addresses, REX.W on rsp, the parameters read in place
// through rsi, the pool and the float constants after it reached RIP-relative.
const flavourinfo flavours[2] = {
    {"ia32", 4, false, 4, 4, 8, false, false, false, 4,
     // sub esp,8; fist [esp]; fisub [esp]; add [esp],3FFFh; f2xm1; fadd 1.0;
     // push 80000000h; push 0; fld tbyte [esp]; fmulp; add esp,16
     "sp-08 DB1424 DA2424 810424FF3F0000 D9F0 fc:D8/0:2 6800000080 6A00 DB2C24 + DEC9 - sp+10"},
    {"x64", 8, true, 8, 0, 0, true, true, true, 7,
     // a 64-bit push stores 8 bytes, so the temporary is built with stores:
     // sub rsp,16; fist [rsp+8]; fisub [rsp+8]; add [rsp+8],3FFFh; f2xm1; fadd 1.0;
     // mov [rsp+4],80000000h; mov [rsp],0; fld tbyte [rsp]; fmulp; add rsp,16
     "sp-10 DB542408 DA642408 81442408FF3F0000 D9F0 fc:D8/0:2 C744240400000080 C7042400000000 "
     "DB2C24 + DEC9 - sp+10"},
};

void emitfault(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: code generator check failed: %s\n", file, line, what);
    std::abort();
}

void emitbyte(emitter &e, uint32_t b)
{
    if (e.buf)
        e.buf[e.pos] = (unsigned char)b;
    e.pos++;
}

void emitword(emitter &e, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        emitbyte(e, v >> (8 * i) & 0xFF);
}

void emitaddress(emitter &e, uint64_t a)
{
    for (int i = 0; i < e.fl->addresssize; i++)
        emitbyte(e, (uint32_t)(a >> (8 * i) & 0xFF));
}

void push87(emitter &e, int count)
{
    e.depth += count;
    emitcheck(e.homes + e.depth <= 8);
}

void pop87(emitter &e, int count)
{
    e.depth -= count;
    emitcheck(e.depth >= 0);
}

int dispsize(uint32_t disp)
{
    return disp == 0 ? 0 : disp <= 127 ? 1 : 4;
}

bool inregister(uint32_t w)
{
    return operandkind(w) == kindregister;
}

int operandsize(const emitter &e, uint32_t w, uint32_t extra)
{
    switch (operandkind(w)) {
    case kindregister: return 1;
    case kindstack: return 2 + dispsize(operandvalue(w) + extra);
    case kindargument: return 1 + dispsize(operandvalue(w) + extra);
    case kindconst: return e.fl->riprelative ? 5 : 1 + dispsize(operandvalue(w) + extra);
    }
    emitcheck(!"operand has no encoding");
    return 0;
}

// [esp + disp] needs the SIB byte 24h; [edx + disp] and [rsi + disp] do not.
void emitmemory(emitter &e, int r, uint32_t w, uint32_t extra)
{
    uint32_t kind = operandkind(w);
    emitcheck(kind == kindstack || kind == kindconst || kind == kindargument);
    uint32_t disp = operandvalue(w) + extra;
    if (kind == kindconst && e.fl->riprelative) {
        emitbyte(e, r << 3 | 5);              // [rip + disp32]
        emitword(e, e.poolstart + disp - (e.pos + 4));
        return;
    }
    int size = dispsize(disp);
    int mod = size == 0 ? 0 : size == 1 ? 1 : 2;
    int base = kind == kindstack ? 4 : kind == kindconst ? 2 : 6;
    emitbyte(e, mod << 6 | r << 3 | base);
    if (base == 4)
        emitbyte(e, 0x24);
    if (size == 1)
        emitbyte(e, disp);
    else if (size == 4)
        emitword(e, disp);
}

void emitx87(emitter &e, int opcode, int r, uint32_t w)
{
    if (!inregister(w)) {
        emitbyte(e, opcode);
        emitmemory(e, r, w);
        return;
    }
    bool keepsdd = opcode == 0xDD && (r == 2 || r == 3);
    emitbyte(e, keepsdd ? opcode : opcode - 4);
    emitbyte(e, 0xC0 + 8 * r + operandindex(w) + e.depth);
}

void emitload(emitter &e, uint32_t w)
{
    emitx87(e, 0xDD, 0, w);
    push87(e, 1);
}

void emitstore(emitter &e, uint32_t w)
{
    emitcheck(e.depth == 1);
    emitx87(e, 0xDD, 3, w);
    pop87(e, 1);
}

uint64_t floatconstaddress(int k)
{
    return (uint64_t)(uintptr_t)&exprfloatconsts[k];
}

uint64_t randstateaddress()
{
    return (uint64_t)(uintptr_t)&exprrandstate;
}

uint64_t routineaddress(const char *name)
{
    static const struct {
        const char *name;
        void (*routine)();
    } routines[] = {{"nrnd", exprnrnd}, {"fact", exprfact}, {"pow", exprpow}};
    for (const auto &r : routines)
        if (std::strcmp(r.name, name) == 0)
            return (uint64_t)(uintptr_t)r.routine;
    emitcheck(!"unknown run-time routine");
    return 0;
}

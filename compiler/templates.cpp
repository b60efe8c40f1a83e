// The code templates of every op, as data, and the interpreter of their
// notation. The trailing store of each computing quad is added by the code
// generator, not written here.
//
// Notation (tokens separated by blanks):
//   D9E4          literal bytes, hexadecimal
//   +  -          one value pushed / popped on the x87 stack (bookkeeping only)
//   =N            the x87 depth is N here: a jump target reached from a path
//                 whose pushes were counted already
//   L             fld of the chained operand (source 1; POW and FMOD: source 2)
//                 unless it arrives chained in st(0)
//   l1  l2        fld source 1 / source 2 (always)
//   x1/r  x2/r    DC /r on source 1 / source 2 (register form D8 C0+8r+i+d)
//   ar/r          DC /r on source 2; when source 2 arrived chained, the reverse
//                 operation (r 4<->5, 6<->7) on source 1
//   lo1:OP hi1:OP integer op OP /0 (eax) on the low / high dword of memory
//   lo2:OP hi2:OP source 1 / source 2
//   s1:K  s2:K    byte: encoded size of source 1 / source 2 plus K (decimal)
//   sh2:K         byte: size of source 2's low plus its high dword plus K
//   fc:OP/r:K     x87 op OP /r on float constant K (-1.0, 0.5, 1.0, 2^-15)
//   sfC:K         byte: size of an fc instruction on constant C plus K
//   rel           rel32 to the label in source 2 (patched after pass 2)
//   sp-XX  sp+XX  sub / add the stack pointer XX (83 EC/C4 ib; REX.W in x64)
//   call:NAME     mov eax, routine; call eax (nrnd, fact, pow)
//   rs  rw        mov eax, [random state] / mov [random state], eax
//   floor         the floor sequence below
//   exptail       EXP's 2^n temporary from the flavour table
#include "emit.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

enum chainkind { chainnone, chainsrc1, chainsrc2, chainmuladd, chainsubdiv };
enum formkind { formany, formmemory, formregister };

struct optemplate {
    uint32_t op;
    formkind form;       // memory: the tested sources are all in memory
    chainkind chain;
    const char *text;
};

// fstcw; round down at 64-bit precision; fistp/fild qword; restore the word.
const char *floorsequence =
    "sp-08 9BD93C24 668B0424 6625FFF0 660D0007 66870424 D92C24 DF3C24 - DF2C24 + 66890424 D92C24 sp+08";

const optemplate templates[] = {
    {opgoto, formany, chainnone, "E9 rel"},                 // jmp rel32
    // fld [random state step] * 2^-15: mov eax,[s]; imul eax,eax,214013; add eax,5062022;
    // mov [s],eax; shr eax,17; sub esp,4; mov [esp],eax; fild dword [esp]; add esp,4; fmul 2^-15
    {oprnd, formany, chainnone, "rs 69C0FD430300 05863D4D00 rw C1E811 sp-04 890424 DB0424 + sp+04 fc:D8/1:3"},
    // push ecx; push edx; call NRND; pop edx; pop ecx
    {opnrnd, formany, chainnone, "51 52 call:nrnd 5A 59 +"},
    {opnop, formany, chainsrc1, "L"},
    {opmov, formany, chainsrc1, "L"},
    // fchs
    {opnegmov, formany, chainsrc1, "L D9E0"},
    // mov eax,lo; or eax,hi; jz +4; fld1; jmp +2; fldz
    {opnequ0, formmemory, chainnone, "lo1:8B hi1:0B 0F8404000000 D9E8 + EB02 =0 D9EE +"},
    // ftst; fnstsw ax; fstp st0; and ah,40h; jnz +4; fld1; jmp +2; fldz
    {opnequ0, formregister, chainsrc1, "L D9E4 DFE0 DDD8 - 80E440 0F8504000000 D9E8 + EB02 =0 D9EE +"},
    // mov eax,lo; or eax,hi; jz label
    {opif0, formmemory, chainnone, "lo1:8B hi1:0B 0F84 rel"},
    {opif0, formregister, chainnone, "L D9E4 DFE0 DDD8 - 80E440 0F85 rel"},
    {opif1, formmemory, chainnone, "lo1:8B hi1:0B 0F85 rel"},
    {opif1, formregister, chainnone, "L D9E4 DFE0 DDD8 - 80E440 0F84 rel"},
    // fabs
    {opabs, formany, chainsrc1, "L D9E1"},
    // ftst; fnstsw; fstp st0; test ax,100h (C0); jz; fld -1.0; jmp end;
    // test ax,4000h (C3); jz; fldz; jmp +2; fld1
    {opsgn, formany, chainsrc1,
     "L D9E4 DFE0 DDD8 - 66A90001 74 sf0:2 fc:D9/0:0 + EB0C =0 66A90040 7404 D9EE + EB02 =0 D9E8 +"},
    // below zero: fldz; zero: fld 0.5; above: fld1
    {opunit, formany, chainsrc1,
     "L D9E4 DFE0 DDD8 - 66A90001 7404 D9EE + EB sf1:10 =0 66A90040 74 sf1:2 fc:D9/0:1 + EB02 =0 D9E8 +"},
    {opfloor, formany, chainsrc1, "L floor"},
    // fchs; floor; fchs
    {opceil, formany, chainsrc1, "L D9E0 floor D9E0"},
    {opsin, formany, chainsrc1, "L D9FE"},                 // fsin
    {opcos, formany, chainsrc1, "L D9FF"},                 // fcos
    // fptan; fnstsw ax; test ah,4 (C2: beyond 2^63, nothing pushed, x left as
    // FSIN and FCOS leave it); jnz +2; fstp st0 (the 1.0 FPTAN pushed). Popping
    // unconditionally would shift every register home by one.
    {optan, formany, chainsrc1, "L D9F2 + DFE0 F6C404 7502 DDD8 -"},
    // fld1; fld st1; fmul st,st2; fsubp st1,st; fsqrt; fpatan
    {opasin, formany, chainsrc1, "L D9E8 + D9C1 + D8CA DEE9 - D9FA D9F3 -"},
    // fld1; fld x; fmul st,st; fsubp st1,st; fsqrt; fld x; fpatan
    {opacos, formany, chainnone, "D9E8 + l1 DCC8 DEE9 - D9FA l1 D9F3 -"},
    {opatan, formany, chainsrc1, "L D9E8 + D9F3 -"},       // fld1; fpatan
    {opsqrt, formany, chainsrc1, "L D9FA"},                // fsqrt
    // fldl2e; fmul x; then 2^(a-n) * 2^n
    {opexp, formany, chainnone, "D9EA + x1/1 exptail"},
    // sub esp,8; fstp qword [esp]; call FACT; add esp,8
    {opfact, formany, chainsrc1, "L sp-08 DD1C24 - call:fact + sp+08"},
    {oplog, formany, chainnone, "D9ED + l1 D9F1 -"},       // fldln2; fld x; fyl2x
    // fld y; fld x; sub esp,16; fstp [esp]; fstp [esp+8]; call POW; add esp,16
    {oppow, formany, chainsrc2, "L l1 sp-10 DD1C24 - DD5C2408 - call:pow + sp+10"},
    {opmul, formany, chainmuladd, "L ar/1"},
    {opdiv, formany, chainsubdiv, "L ar/6"},
    // fld b; fld a; fprem; ftst; fnstsw; and ah,1; jz end; fld b; fabs; faddp; fxch; fstp st0
    {opmod, formany, chainnone, "l2 l1 D9F8 D9E4 DFE0 80E401 74 s2:5 l2 D9E1 DEC1 - D9C9 DDD8 -"},
    {opadd, formany, chainmuladd, "L ar/0"},
    {opsub, formany, chainsubdiv, "L ar/4"},
    // fcomp b; fnstsw; and ah,m; jcc +4; fld1; jmp +2; fldz
    {oplt, formany, chainsrc1, "L x2/3 - DFE0 80E401 7404 D9E8 + EB02 =0 D9EE +"},
    {ople, formany, chainsrc1, "L x2/3 - DFE0 80E441 7404 D9E8 + EB02 =0 D9EE +"},
    {opgt, formany, chainsrc1, "L x2/3 - DFE0 80E441 7504 D9E8 + EB02 =0 D9EE +"},
    {opge, formany, chainsrc1, "L x2/3 - DFE0 80E401 7504 D9E8 + EB02 =0 D9EE +"},
    {opeq, formany, chainsrc1, "L x2/3 - DFE0 80E440 7404 D9E8 + EB02 =0 D9EE +"},
    {opne, formany, chainsrc1, "L x2/3 - DFE0 80E440 7504 D9E8 + EB02 =0 D9EE +"},
    {opand, formmemory, chainnone, "lo1:8B hi1:0B 74 sh2:8 lo2:8B hi2:0B 7404 D9E8 + EB02 =0 D9EE +"},
    {opand, formregister, chainsrc1,
     "L D9E4 DFE0 DDD8 - 80E440 75 s2:16 l2 D9E4 DFE0 DDD8 - 80E440 7504 D9E8 + EB02 =0 D9EE +"},
    {opor, formmemory, chainnone, "lo1:8B hi1:0B lo2:0B hi2:0B 7504 D9EE + EB02 =0 D9E8 +"},
    {opor, formregister, chainsrc1,
     "L D9E4 DFE0 DDD8 - 80E440 74 s2:16 l2 D9E4 DFE0 DDD8 - 80E440 7404 D9EE + EB02 =0 D9E8 +"},
    // fld a; fcomp b; fnstsw; and ah,41h; jcc to "fld a"; fld b; jmp end; fld a
    {opmin, formany, chainnone, "l1 x2/3 - DFE0 80E441 75 s2:3 l2 EB s1:1 =0 l1"},
    {opmax, formany, chainnone, "l1 x2/3 - DFE0 80E441 74 s2:3 l2 EB s1:1 =0 l1"},
    // fld b; fld a; fprem; fxch; fstp st0
    {opfmod, formany, chainsrc2, "L l1 D9F8 D9C9 DDD8 -"},
    {opatan2, formany, chainsrc1, "L l2 D9F3 -"},          // fld y; fld x; fpatan
    // fld1; fld a; fyl2x; fld1; fld b; fyl2x; fdivp
    {oplogb, formany, chainnone, "D9E8 + l1 D9F1 - D9E8 + l2 D9F1 - DEF9 -"},
};

// Memory forms of NEQU0, IF0 and IF1 test source 1; those of && and || need
// both sources in memory.
formkind formof(const quad &q)
{
    switch (q.op) {
    case opnequ0: case opif0: case opif1:
        return inregister(q.src1) ? formregister : formmemory;
    case opand: case opor:
        return inregister(q.src1) || inregister(q.src2) ? formregister : formmemory;
    }
    return formany;
}

const optemplate *findtemplate(const quad &q)
{
    formkind form = formof(q);
    for (const optemplate &t : templates)
        if (t.op == q.op && (t.form == formany || t.form == form))
            return &t;
    return nullptr;
}

int hexvalue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

uint32_t hexnumber(const char *s, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; i++) {
        int h = hexvalue(s[i]);
        emitcheck(h >= 0);
        v = v * 16 + h;
    }
    return v;
}

bool ishexbytes(const char *s, int n)
{
    if (n % 2)
        return false;
    for (int i = 0; i < n; i++)
        if (hexvalue(s[i]) < 0)
            return false;
    return true;
}

uint32_t source(const quadview &q, char which)
{
    return which == '1' ? q.src1 : q.src2;
}

// Size of an fc instruction: opcode, ModR/M and the address or displacement.
int floatconstsize(const emitter &e, int k)
{
    if (!e.fl->poolfloats)
        return 6;
    return 1 + operandsize(e, makeoperand(kindconst, 8 * e.poolsize + 4 * k));
}

void emitfloatconst(emitter &e, int opcode, int r, int k)
{
    emitbyte(e, opcode);
    if (!e.fl->poolfloats) {
        emitbyte(e, r << 3 | 5);              // [disp32]
        emitword(e, (uint32_t)floatconstaddress(k));
        return;
    }
    uint32_t disp = 8 * e.poolsize + 4 * k;   // after the pool, through edx
    emitmemory(e, r, makeoperand(kindconst, disp));
}

void emitstackadjust(emitter &e, bool sub, uint32_t amount)
{
    if (e.fl->rexw)
        emitbyte(e, 0x48);
    emitbyte(e, 0x83);
    emitbyte(e, sub ? 0xEC : 0xC4);
    emitbyte(e, amount);
}

void emitcall(emitter &e, const char *name)
{
    if (e.fl->addresssize == 8)
        emitbyte(e, 0x48);
    emitbyte(e, 0xB8);                        // mov eax/rax, routine
    emitaddress(e, routineaddress(name));
    emitbyte(e, 0xFF);                        // call eax/rax
    emitbyte(e, 0xD0);
}

void emitrel(emitter &e, uint32_t label)
{
    emitword(e, operandvalue(label));         // the label number until patched
    if (!e.buf)
        return;
    if (e.fixupcount >= cs.labelcapacity && !growlabels(e.fixupcount)) {
        e.failed = true;
        return;
    }
    cs.fixups[e.fixupcount++] = e.pos;
}

int reverseop(int r)
{
    return r >= 4 ? r ^ 1 : r;                // sub<->subr, div<->divr
}

void runtemplate(emitter &e, const quadview &q, const char *text);

// One token of a template; `t` points at it, `n` is its length.
void runtoken(emitter &e, const quadview &q, const char *t, int n)
{
    if (ishexbytes(t, n)) {
        for (int i = 0; i < n; i += 2)
            emitbyte(e, hexnumber(t + i, 2));
        return;
    }
    std::string_view tok(t, n);
    if (tok == "+") return push87(e, 1);
    if (tok == "-") return pop87(e, 1);
    if (tok[0] == '=') { e.depth = std::atoi(t + 1); return; }
    if (tok == "L") {
        if (!q.chained)
            emitload(e, q.loadside == 2 ? q.src2 : q.src1);
        return;
    }
    if (tok == "l1" || tok == "l2") return emitload(e, source(q, t[1]));
    if ((t[0] == 'x' || t[0] == 'a') && n == 4 && t[2] == '/') {
        int r = t[3] - '0';
        if (t[0] == 'a') {
            bool swap = q.chained && q.chainside == 2;
            return emitx87(e, 0xDC, swap ? reverseop(r) : r, swap ? q.src1 : q.src2);
        }
        return emitx87(e, 0xDC, r, source(q, t[1]));
    }
    if (tok.starts_with("lo") || tok.starts_with("hi")) {
        emitbyte(e, hexnumber(t + 4, 2));
        return emitmemory(e, 0, source(q, t[2]), t[0] == 'h' ? 4 : 0);
    }
    if (tok.starts_with("sh2:")) {
        int k = std::atoi(t + 4);
        return emitbyte(e, operandsize(e, q.src2) + operandsize(e, q.src2, 4) + k);
    }
    if ((tok.starts_with("s1:") || tok.starts_with("s2:")))
        return emitbyte(e, operandsize(e, source(q, t[1])) + std::atoi(t + 3));
    if (tok.starts_with("sf"))       // sfC:K
        return emitbyte(e, floatconstsize(e, t[2] - '0') + std::atoi(t + 4));
    if (tok.starts_with("fc:"))      // fc:OP/r:K
        return emitfloatconst(e, hexnumber(t + 3, 2), t[6] - '0', t[8] - '0');
    if (tok == "rel") return emitrel(e, q.src2);
    if (tok.starts_with("sp")) return emitstackadjust(e, t[2] == '-', hexnumber(t + 3, 2));
    if (tok.starts_with("call:")) {
        char name[8] = {};
        std::memcpy(name, t + 5, n - 5 < 7 ? n - 5 : 7);
        return emitcall(e, name);
    }
    if (tok == "rs" || tok == "rw") {
        emitbyte(e, tok == "rs" ? 0xA1 : 0xA3);    // mov eax,[moffs] / mov [moffs],eax
        return emitaddress(e, randstateaddress());
    }
    if (tok == "floor") return runtemplate(e, q, floorsequence);
    if (tok == "exptail") return runtemplate(e, q, e.fl->exptail);
    emitcheck(!"unknown template token");
}

void runtemplate(emitter &e, const quadview &q, const char *text)
{
    const char *p = text;
    while (*p) {
        while (*p == ' ')
            p++;
        const char *start = p;
        while (*p && *p != ' ')
            p++;
        if (p > start)
            runtoken(e, q, start, (int)(p - start));
    }
}

} // namespace

void emittemplate(emitter &e, const quadview &q)
{
    const optemplate *t = findtemplate({q.dst, q.src1, q.src2, q.op});
    emitcheck(t != nullptr);
    quadview v = q;
    v.loadside = t->chain == chainsrc2 ? 2 : 1;
    runtemplate(e, v, t->text);
}

bool chaincandidate(const quad &q, uint32_t prevdst, int &side)
{
    const optemplate *t = findtemplate(q);
    if (!t || q.dst != prevdst)
        return false;
    bool one = q.src1 == q.dst, two = q.src2 == q.dst;
    switch (t->chain) {
    case chainnone: return false;
    case chainsrc1: side = 1; return one;
    case chainsrc2: side = 2; return two;
    case chainmuladd:
    case chainsubdiv:
        if (one == two)
            return false;
        side = one ? 1 : 2;
        return true;
    }
    return false;
}

bool usesfloatconsts(uint32_t op)
{
    return op == oprnd || op == opsgn || op == opunit || op == opexp;
}

// Depth reached by a template's text: pushes, pops, loads and the depth
// marks, with every load counted (a chained operand may save one).
static void scandepth(const char *text, const flavourinfo &fl, int &depth, int &deepest, bool &calls)
{
    for (const char *p = text; *p;) {
        while (*p == ' ')
            p++;
        const char *start = p;
        while (*p && *p != ' ')
            p++;
        std::string_view tok(start, size_t(p - start));
        if (tok.empty())
            continue;
        if (tok == "+" || tok == "L" || tok == "l1" || tok == "l2")
            depth++;
        else if (tok == "-")
            depth--;
        else if (tok[0] == '=')
            depth = std::atoi(start + 1);
        else if (tok.starts_with("call:"))
            calls = true;
        else if (tok == "floor")
            scandepth(floorsequence, fl, depth, deepest, calls);
        else if (tok == "exptail")
            scandepth(fl.exptail, fl, depth, deepest, calls);
        if (depth > deepest)
            deepest = depth;
    }
}

static int scanroom(uint32_t op)
{
    int deepest = 1;
    for (const optemplate &t : templates) {
        if (t.op != op)
            continue;
        for (const flavourinfo &fl : flavours) {
            int depth = 0;
            bool calls = false;
            scandepth(t.text, fl, depth, deepest, calls);
            if (calls && deepest < 4)
                deepest = 4;
        }
    }
    return deepest;
}

int x87room(uint32_t op)
{
    struct roomtable {
        int room[opcount];
    };
    static const roomtable table = [] {
        roomtable r{};
        for (uint32_t k = 0; k < opcount; k++)
            r.room[k] = scanroom(k);
        return r;
    }();
    return op < opcount ? table.room[op] : 4;
}

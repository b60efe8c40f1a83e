// The machine-code emitter shared by the code generator's stages: output
// position, x87 depth bookkeeping, operand encoders and the flavour table.
#pragma once
#include <cstdint>
#include "state.h"

// Everything that differs between the two flavours of the one emitter.
struct flavourinfo {
    const char *name;
    int addresssize;          // 4: imm32/abs32 addresses; 8: imm64/moffs64
    bool rexw;                // 48h before every stack-pointer adjustment and mov r,imm64
    uint32_t reserveextra;    // bytes reserved beyond 8 per spill slot
    uint32_t basenospill;     // parameter 1 without spill slots (the return address)
    uint32_t basespill;       // parameter 1 is at 8 * S + this with S spill slots
    // The caller's argument array arrives in rsi and the parameters are read
    // there in place; code that assigns a parameter copies them all into its
    // frame first (after the spill slots), since an assignment must change
    // only this call's copy. The two bases above are then unused.
    bool argpointer;
    bool poolfloats;          // float constants copied after the pool, through edx/rdx
    bool riprelative;         // the pool reached RIP-relative: no pool register
    // Most temporaries kept in x87 registers. ia32 keeps four, so that the
    // run-time routines always find four free registers above them; x64
    // keeps as many as the code's templates leave room for (a value spilled
    // to memory is rounded to double range; one in a register is not, which
    // only matters beyond that range, where ia32's chained values already
    // skip the rounding).
    uint32_t maxhomes;
    const char *exptail;      // EXP after fldl2e and the multiply: the 2^n temporary
};
extern const flavourinfo flavours[2];

// One quad as the templates see it: operands after layout, chain decision.
struct quadview {
    uint32_t op, dst, src1, src2;
    bool chained;     // the chained operand arrives in st(0): skip its load
    int chainside;    // 1 or 2: which source arrived chained (arithmetic ops)
    int loadside;     // source loaded by the template's "L" (set by emittemplate)
};

struct emitter {
    unsigned char *buf;       // nullptr while counting
    uint32_t pos;
    int depth;                // values pushed on the x87 stack within this quad
    int homes;                // R: register homes below the pushed values
    const flavourinfo *fl;
    uint32_t poolsize;        // constants in the pool (for the float constants' displacement)
    uint32_t poolstart;       // offset of the pool in the buffer (writing pass, RIP-relative)
    uint32_t fixupcount;
    bool failed;              // fixup table could not grow
};

// Internal consistency checks of the emitter; a failure is a bug, never input.
#define emitcheck(cond) ((cond) ? (void)0 : emitfault(#cond, __FILE__, __LINE__))
[[noreturn]] void emitfault(const char *what, const char *file, int line);

void emitbyte(emitter &e, uint32_t b);
void emitword(emitter &e, uint32_t v);               // 4 bytes, little-endian
void emitaddress(emitter &e, uint64_t a);            // 4 or 8 bytes by flavour
void push87(emitter &e, int count);                  // bookkeeping only
void pop87(emitter &e, int count);

int dispsize(uint32_t disp);
// Encoded size of an operand (ModR/M, SIB, displacement) with `extra` added
// to a memory operand's displacement.
int operandsize(const emitter &e, uint32_t w, uint32_t extra = 0);
bool inregister(uint32_t w);
// ModR/M (+SIB, displacement) of a memory operand with reg field r. A
// RIP-relative displacement counts from its own end: nothing may follow it
// in the instruction (no operand of the templates has an immediate after it).
void emitmemory(emitter &e, int r, uint32_t w, uint32_t extra = 0);
// An x87 operation on a 64-bit operand: memory form `opcode` /r, or the
// register form (opcode - 4, except DD /2 and DD /3) on st(home + depth).
void emitx87(emitter &e, int opcode, int r, uint32_t w);
// fld of an operand (DD /0 or D9 C0+i+d): one value more on the stack.
void emitload(emitter &e, uint32_t w);
// fstp to an operand (DD /3 or DD D8+i+1): one value less.
void emitstore(emitter &e, uint32_t w);

// Addresses of the run-time pieces the code refers to.
uint64_t floatconstaddress(int k);
uint64_t randstateaddress();
uint64_t routineaddress(const char *name);

// Emit the template of one quad (everything but the trailing store).
void emittemplate(emitter &e, const quadview &q);
// Does this op chain, and on which operand, for the given quad?
bool chaincandidate(const quad &q, uint32_t prevdst, int &side);
// Does the template of this op read the float constants?
bool usesfloatconsts(uint32_t op);
// x87 registers the template of this op may need above the register homes:
// its deepest push (its result included), or four when it calls a routine.
int x87room(uint32_t op);

// The code generator: optimised quads in the compiler state to an executable buffer.
#pragma once
#include "state.h"

// Lay out the frame, rewrite the operands in place (register homes, spill
// slots, parameter displacements), emit both passes and return the buffer.
// Sets cs.code, cs.codesize, cs.spillcount and cs.parambase. On failure calls
// compilefail (msgcodemalloc or msgnoreturn) and returns nullptr.
// The flavour is cs.flavour; a flavour other than the native one yields the
// bytes in a plain buffer that must never be called.
exprfunc generatecode();

// ---------------------------------------------------------------- run-time state
// The random state of RND and NRND (twice the classic rand() state).
uint32_t exprrandomstate();
// The NRND cache: is a second deviate pending, and its value.
bool exprnormalpending();
double exprnormalvalue();

// ---------------------------------------------------------------- executable memory
// Code buffers: mapped writable, written, then made read-and-execute (never
// both at once). A buffer of a foreign flavour stays readable data.
unsigned char *allocatecode(uint32_t size);
bool sealcode(unsigned char *code, uint32_t size, bool executable);
void releasecode(unsigned char *code, uint32_t size);
// Test hook: make the next allocation (1) or protection change (2) fail.
void setcodememoryfault(int which);

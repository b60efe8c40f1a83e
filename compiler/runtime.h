// The run-time pieces of compiled expressions (runtime_x64.S / runtime_ia32.S).
//
// The routines follow the compiled code's own convention, not the C one:
// doubles on the stack (the caller pops), result in st(0) (exprdraw: eax),
// only eax and the flags change. Call them from compiled code or from tests
// through the helpers of tests/compiler, never as C functions.
#pragma once
#include <cstdint>

extern "C" {
extern uint32_t exprrandstate;      // twice the classic rand() state, 2 at start
extern uint32_t exprnormalflag;     // 1 while a second normal deviate is pending
extern double exprnormalcache;      // that deviate
extern const float exprfloatconsts[4];   // -1.0 (SGN), 0.5 (UNIT), 1.0 (EXP), 2^-15 (RND)
void exprdraw();
void exprnrnd();
void exprfact();
void exprpow();
}

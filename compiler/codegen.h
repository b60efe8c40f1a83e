// The code generator: optimised quads in the compiler state to an executable buffer.
#pragma once
#include "state.h"

// Lay out the frame, rewrite the operands in place (register homes, spill
// slots, parameter displacements), emit both passes and return the buffer.
// Sets cs.code, cs.codesize, cs.spillcount and cs.parambase. On failure calls
// compilefail (msgcodemalloc or msgnoreturn) and returns nullptr.
exprfunc generatecode();

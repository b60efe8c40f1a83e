/* exprcall (x86-64): double exprcall(exprfunc f, const double *args, int count)
 * rdi = f, rsi = args, edx = count. The compiled code reads its parameters
 * in place through rsi (and copies them itself when it assigns one), so
 * nothing is copied here and count is not needed. The call runs under the
 * x87 control word 0x027F: a caller already at 0x027F keeps it without a
 * load (FLDCW is what costs), any other word is set for the call and
 * restored. st(0) is returned in xmm0. FPTAN of an argument beyond 2^63
 * pushes nothing, so the code pops one value too many and its register
 * homes end up shifted; freeing all eight registers after the result is
 * taken hands the caller an empty x87 stack in any case (the FFREEs cost
 * nothing measurable here, unlike a status-word check of the stack top). */
#define EXPRCALL_NAME exprcall
#define EXPRCALL_FREE FREEALLX87
#include "exprcall_x64.inc"

        .section .note.GNU-stack, "", @progbits

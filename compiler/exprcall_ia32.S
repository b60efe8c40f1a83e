/* exprcall (IA-32, cdecl): double exprcall(exprfunc f, const double *args, int count)
 * The arguments go on the stack as the compiled code expects them (first
 * argument at [esp+4] after the call), copied with 8-byte moves: narrower or
 * wider stores read back by the code's 8-byte loads defeat store forwarding.
 * The call runs under the x87 control word 0x027F: a caller already at
 * 0x027F keeps it without a load, any other word is set for the call and
 * restored. st(0), rounded to double, is the result. FPTAN of an argument
 * beyond 2^63 pushes nothing, so the code pops one value too many and its
 * register homes end up shifted; freeing all eight registers after the
 * result is taken hands the caller an empty x87 stack in any case. */
#define EXPRCALL_NAME exprcall
#define EXPRCALL_FREE FREEALLX87
#include "exprcall_ia32.inc"

        .section .note.GNU-stack, "", @progbits

/* rawcall (tests only): exprcall without the final FFREEs, so a test can see
 * whether the compiled code itself left registers on the x87 stack.
 * extern "C" double rawcall(exprfunc f, const double *args, int count) */
#define EXPRCALL_NAME rawcall
#define EXPRCALL_FREE
#include "exprcall_x64.inc"

        .section .note.GNU-stack, "", @progbits

/* Run-time routines, IA-32: position-independent, data reached through ecx
 * (saved) holding the GOT address. */
#define SP esp
#define ARG1 8
#define ENTERDATA push ecx; call 9f; 9: pop ecx; add ecx, offset _GLOBAL_OFFSET_TABLE_ + (. - 9b)
#define LEAVEDATA pop ecx
#define D(sym) [ecx + sym@GOTOFF]
#define DO(sym, off) [ecx + sym@GOTOFF + off]
#include "runtime.inc"

/* Run-time routines, x86-64: data reached RIP-relative. */
#define SP rsp
#define ARG1 8
#define ENTERDATA
#define LEAVEDATA
#define D(sym) [rip + sym]
#define DO(sym, off) [rip + sym + off]
#include "runtime.inc"

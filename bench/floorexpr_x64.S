/* double floorexpr(const double *args): the designer's default expression
 * (d1*c1 + d2*c2 + d3/(abs(sin(d3*.1))+1)*c3 + (c4+fn+1)*16)*sc
 * written by hand in x87 code with FSIN: the floor for code built from the
 * compiler's x87 templates. The operations and their order are the compiled
 * code's (the same results); every temporary stays in a register and each
 * argument is loaded once. Call it under the control word 0x027F.
 * Arguments: vx vy vz d1 d2 d3 c1 c2 c3 c4 fn sc at [rdi + 8k]. */
        .intel_syntax noprefix
        .section .rodata
        .balign 8
tenth:  .double 0.1
one:    .double 1.0
sixteen: .double 16.0

        .text
        .globl floorexpr
        .type floorexpr, @function
floorexpr:
        fld qword ptr [rdi + 40]                /* d3 */
        fld st(0)                               /* d3 d3 */
        fmul qword ptr [rip + tenth]
        fsin
        fabs
        fadd qword ptr [rip + one]              /* abs(sin(d3*.1))+1, d3 */
        fdivp st(1), st                         /* d3/(...) */
        fmul qword ptr [rdi + 64]               /* *c3 */
        fld qword ptr [rdi + 72]                /* c4 */
        fadd qword ptr [rdi + 80]               /* +fn */
        fadd qword ptr [rip + one]              /* +1 */
        fld qword ptr [rdi + 24]                /* d1 */
        fmul qword ptr [rdi + 48]               /* *c1 */
        fld qword ptr [rdi + 32]                /* d2 */
        fmul qword ptr [rdi + 56]               /* *c2; st: d2c2 d1c1 (c4+fn+1) d3term */
        faddp st(1), st                         /* d1c1 + d2c2 */
        faddp st(2), st                         /* + d3term; st: (c4+fn+1) sum */
        fmul qword ptr [rip + sixteen]          /* *16 */
        faddp st(1), st                         /* sum + (c4+fn+1)*16 */
        fmul qword ptr [rdi + 88]               /* *sc */
        fstp qword ptr [rsp - 8]
        movsd xmm0, qword ptr [rsp - 8]
        ret
        .size floorexpr, . - floorexpr

        .section .note.GNU-stack, "", @progbits

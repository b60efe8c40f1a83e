/* rawcall (tests only): exprcall without the final FFREEs, so a test can see
 * whether the compiled code itself left registers on the x87 stack.
 * extern "C" double rawcall(exprfunc f, const double *args, int count) */
        .intel_syntax noprefix
        .text
        .globl rawcall
        .type rawcall, @function
rawcall:
        push rbp
        mov rbp, rsp
        sub rsp, 16                     /* [rbp-16] caller's word, [rbp-14] ours, [rbp-8] result */
        fnstcw word ptr [rbp - 16]
        mov word ptr [rbp - 14], 0x027F
        test edx, edx
        jle 2f
        movsxd rcx, edx
        lea rax, [rcx * 8 + 15]
        and rax, -16
        sub rsp, rax
        test ecx, 1                     /* an odd count: the last one alone */
        jz 1f
        mov r8, qword ptr [rsi + rcx * 8 - 8]
        mov qword ptr [rsp + rcx * 8 - 8], r8
        sub rcx, 1
        jz 2f
1:      mov r8, qword ptr [rsi + rcx * 8 - 8]   /* then two at a time, from the end */
        mov r9, qword ptr [rsi + rcx * 8 - 16]
        mov qword ptr [rsp + rcx * 8 - 8], r8
        mov qword ptr [rsp + rcx * 8 - 16], r9
        sub rcx, 2
        jnz 1b
2:      fldcw word ptr [rbp - 14]
        call rdi
        fstp qword ptr [rbp - 8]
        fldcw word ptr [rbp - 16]
        movsd xmm0, qword ptr [rbp - 8]
        leave
        ret
        .size rawcall, . - rawcall

        .section .note.GNU-stack, "", @progbits

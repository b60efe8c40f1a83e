/* exprcall (x86-64): double exprcall(exprfunc f, const double *args, int count)
 * rdi = f, rsi = args, edx = count (the C++ name is spelled out below).
 * The arguments go on the stack as the compiled code expects them (first
 * argument at [rsp+8] after the call), copied with 8-byte moves: 16-byte
 * stores read back by the code's 8-byte loads would defeat store forwarding.
 * The call runs under the x87 control word 0x027F; the caller's word comes
 * back afterwards and st(0) is returned in xmm0. FPTAN of an argument beyond
 * 2^63 pushes nothing, so the code pops one value too many and its register
 * homes end up shifted; freeing all eight registers after the result is
 * taken hands the caller an empty x87 stack in any case (the FFREEs cost
 * nothing measurable here, unlike a status-word check of the stack top). */
        .intel_syntax noprefix
        .text
        .globl _Z8exprcallPKvPKdi
        .type _Z8exprcallPKvPKdi, @function
_Z8exprcallPKvPKdi:
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
        ffree st(0)                     /* every register empty again, whatever the */
        ffree st(1)                     /* code did (FPTAN out of range pushes nothing) */
        ffree st(2)
        ffree st(3)
        ffree st(4)
        ffree st(5)
        ffree st(6)
        ffree st(7)
        fldcw word ptr [rbp - 16]
        movsd xmm0, qword ptr [rbp - 8]
        leave
        ret
        .size _Z8exprcallPKvPKdi, . - _Z8exprcallPKvPKdi

        .section .note.GNU-stack, "", @progbits

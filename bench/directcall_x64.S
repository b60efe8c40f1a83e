/* double directcall12(exprfunc f, const double *args): the bare call of a
 * compiled buffer with twelve arguments, without the calling layer's
 * control-word switch (the benchmark sets 0x027F around the whole loop). */
        .intel_syntax noprefix
        .text
        .globl directcall12
        .type directcall12, @function
directcall12:
        sub rsp, 104                    /* 12 arguments + 8 to keep the alignment */
        mov rax, [rsi]
        mov [rsp], rax
        mov rax, [rsi + 8]
        mov [rsp + 8], rax
        mov rax, [rsi + 16]
        mov [rsp + 16], rax
        mov rax, [rsi + 24]
        mov [rsp + 24], rax
        mov rax, [rsi + 32]
        mov [rsp + 32], rax
        mov rax, [rsi + 40]
        mov [rsp + 40], rax
        mov rax, [rsi + 48]
        mov [rsp + 48], rax
        mov rax, [rsi + 56]
        mov [rsp + 56], rax
        mov rax, [rsi + 64]
        mov [rsp + 64], rax
        mov rax, [rsi + 72]
        mov [rsp + 72], rax
        mov rax, [rsi + 80]
        mov [rsp + 80], rax
        mov rax, [rsi + 88]
        mov [rsp + 88], rax
        call rdi
        fstp qword ptr [rsp + 96]
        movsd xmm0, qword ptr [rsp + 96]
        add rsp, 104
        ret
        .size directcall12, . - directcall12

        .section .note.GNU-stack, "", @progbits

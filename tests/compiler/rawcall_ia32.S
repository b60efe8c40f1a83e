/* rawcall (tests only): exprcall without the final FFREEs, so a test can see
 * whether the compiled code itself left registers on the x87 stack.
 * extern "C" double rawcall(exprfunc f, const double *args, int count) */
        .intel_syntax noprefix
        .text
        .globl rawcall
        .type rawcall, @function
rawcall:
        push ebp
        mov ebp, esp
        push esi
        sub esp, 20                     /* [ebp-24] caller's word, [ebp-22] ours, [ebp-16] result */
        fnstcw word ptr [ebp - 24]
        mov word ptr [ebp - 22], 0x027F
        mov ecx, dword ptr [ebp + 16]
        mov esi, dword ptr [ebp + 12]
        test ecx, ecx
        jle 2f
        lea eax, [ecx * 8 + 15]
        and eax, -16
        sub esp, eax
        test ecx, 1                     /* an odd count: the last one alone */
        jz 1f
        movq xmm0, qword ptr [esi + ecx * 8 - 8]
        movq qword ptr [esp + ecx * 8 - 8], xmm0
        sub ecx, 1
        jz 2f
1:      movq xmm0, qword ptr [esi + ecx * 8 - 8]    /* then two at a time, from the end */
        movq xmm1, qword ptr [esi + ecx * 8 - 16]
        movq qword ptr [esp + ecx * 8 - 8], xmm0
        movq qword ptr [esp + ecx * 8 - 16], xmm1
        sub ecx, 2
        jnz 1b
2:      fldcw word ptr [ebp - 22]
        call dword ptr [ebp + 8]
        fstp qword ptr [ebp - 16]
        fldcw word ptr [ebp - 24]
        fld qword ptr [ebp - 16]
        lea esp, [ebp - 4]
        pop esi
        pop ebp
        ret
        .size rawcall, . - rawcall

        .section .note.GNU-stack, "", @progbits

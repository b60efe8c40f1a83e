/* exprcall (IA-32, cdecl): double exprcall(exprfunc f, const double *args, int count)
 * The arguments go on the stack as the compiled code expects them (first
 * argument at [esp+4] after the call), copied with 8-byte moves: narrower or
 * wider stores read back by the code's 8-byte loads defeat store forwarding.
 * The call runs under the x87 control word 0x027F; the caller's word comes
 * back afterwards and st(0), rounded to double, is the result. */
        .intel_syntax noprefix
        .text
        .globl _Z8exprcallPKvPKdi
        .type _Z8exprcallPKvPKdi, @function
_Z8exprcallPKvPKdi:
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
        xor eax, eax
1:      movq xmm0, qword ptr [esi + eax * 8]
        movq qword ptr [esp + eax * 8], xmm0
        add eax, 1
        cmp eax, ecx
        jb 1b
2:      fldcw word ptr [ebp - 22]
        call dword ptr [ebp + 8]
        fstp qword ptr [ebp - 16]
        fldcw word ptr [ebp - 24]
        fld qword ptr [ebp - 16]
        lea esp, [ebp - 4]
        pop esi
        pop ebp
        ret
        .size _Z8exprcallPKvPKdi, . - _Z8exprcallPKvPKdi

        .section .note.GNU-stack, "", @progbits

/* exprcall (IA-32, cdecl): double exprcall(exprfunc f, const double *args, int count)
 * The arguments go on the stack as the compiled code expects them (first
 * argument at [esp+4] after the call), copied with 8-byte moves: narrower or
 * wider stores read back by the code's 8-byte loads defeat store forwarding.
 * The call runs under the x87 control word 0x027F; the caller's word comes
 * back afterwards and st(0), rounded to double, is the result. FPTAN of an
 * argument beyond 2^63 pushes nothing, so the code pops one value too many
 * and its register homes end up shifted; freeing all eight registers after
 * the result is taken hands the caller an empty x87 stack in any case. */
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
        ffree st(0)                     /* every register empty again, whatever the */
        ffree st(1)                     /* code did (FPTAN out of range pushes nothing) */
        ffree st(2)
        ffree st(3)
        ffree st(4)
        ffree st(5)
        ffree st(6)
        ffree st(7)
        fldcw word ptr [ebp - 24]
        fld qword ptr [ebp - 16]
        lea esp, [ebp - 4]
        pop esi
        pop ebp
        ret
        .size _Z8exprcallPKvPKdi, . - _Z8exprcallPKvPKdi

        .section .note.GNU-stack, "", @progbits

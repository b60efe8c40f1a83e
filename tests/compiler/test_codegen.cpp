// Golden bytes of the ia32 flavour, with the intended instructions beside
// them; objdump checks both flavours as a second opinion.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "codegen.h"
#include "codegenhelp.h"
#include "state.h"

namespace {

struct goldenrow {
    const char *text;
    const char *bytes;          // see expandbytes()
    const char *instructions;   // objdump -M intel, "*" for addresses and jump targets
};

// Parameters: x at [esp+4], y at [esp+12] (no spill slots).
const goldenrow golden[] = {
    {"(x)\nx", "DD 44 24 04 | C3 | 0F 0B", "fld QWORD PTR [esp+0x4]; ret; ud2"},
    {"(x)\n-x", "DD 44 24 04 | D9 E0 | C3 | 0F 0B", "fld QWORD PTR [esp+0x4]; fchs; ret; ud2"},
    {"(x)\nabs(x)", "DD 44 24 04 | D9 E1 | C3 0F 0B", "fld QWORD PTR [esp+0x4]; fabs; ret; ud2"},
    {"(x)\nsgn(x)",
     "DD 44 24 04 | D9 E4 | DF E0 | DD D8 | 66 A9 00 01 | 74 08 | D9 05 {M1} | EB 0C | 66 A9 00 40 | 74 04 |"
     "D9 EE | EB 02 | D9 E8 | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; ftst; fnstsw ax; fstp st(0); test ax,0x100; je *; fld DWORD PTR ds:*; jmp *;"
     "test ax,0x4000; je *; fldz; jmp *; fld1; ret; ud2"},
    {"(x)\nunit(x)",
     "DD 44 24 04 | D9 E4 | DF E0 | DD D8 | 66 A9 00 01 | 74 04 | D9 EE | EB 10 | 66 A9 00 40 | 74 08 |"
     "D9 05 {HALF} | EB 02 | D9 E8 | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; ftst; fnstsw ax; fstp st(0); test ax,0x100; je *; fldz; jmp *;"
     "test ax,0x4000; je *; fld DWORD PTR ds:*; jmp *; fld1; ret; ud2"},
    {"(x)\nfloor(x)",
     "DD 44 24 04 | 83 EC 08 | 9B D9 3C 24 | 66 8B 04 24 | 66 25 FF F0 | 66 0D 00 07 | 66 87 04 24 | D9 2C 24 |"
     "DF 3C 24 | DF 2C 24 | 66 89 04 24 | D9 2C 24 | 83 C4 08 | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; sub esp,0x8; fstcw WORD PTR [esp]; mov ax,WORD PTR [esp]; and ax,0xf0ff;"
     "or ax,0x700; xchg WORD PTR [esp],ax; fldcw WORD PTR [esp]; fistp QWORD PTR [esp]; fild QWORD PTR [esp];"
     "mov WORD PTR [esp],ax; fldcw WORD PTR [esp]; add esp,0x8; ret; ud2"},
    {"(x)\nceil(x)",
     "DD 44 24 04 | D9 E0 | 83 EC 08 | 9B D9 3C 24 | 66 8B 04 24 | 66 25 FF F0 | 66 0D 00 07 | 66 87 04 24 |"
     "D9 2C 24 | DF 3C 24 | DF 2C 24 | 66 89 04 24 | D9 2C 24 | 83 C4 08 | D9 E0 | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fchs; sub esp,0x8; fstcw WORD PTR [esp]; mov ax,WORD PTR [esp]; and ax,0xf0ff;"
     "or ax,0x700; xchg WORD PTR [esp],ax; fldcw WORD PTR [esp]; fistp QWORD PTR [esp]; fild QWORD PTR [esp];"
     "mov WORD PTR [esp],ax; fldcw WORD PTR [esp]; add esp,0x8; fchs; ret; ud2"},
    {"(x)\nsin(x)", "DD 44 24 04 | D9 FE | C3 0F 0B", "fld QWORD PTR [esp+0x4]; fsin; ret; ud2"},
    {"(x)\ncos(x)", "DD 44 24 04 | D9 FF | C3 0F 0B", "fld QWORD PTR [esp+0x4]; fcos; ret; ud2"},
    // FPTAN pushes 1.0 only when C2 is clear (argument below 2^63)
    {"(x)\ntan(x)", "DD 44 24 04 | D9 F2 | DF E0 | F6 C4 04 | 75 02 | DD D8 | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fptan; fnstsw ax; test ah,0x4; jne *; fstp st(0); ret; ud2"},
    {"(x)\nasin(x)", "DD 44 24 04 | D9 E8 | D9 C1 | D8 CA | DE E9 | D9 FA | D9 F3 | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fld1; fld st(1); fmul st,st(2); fsubp st(1),st; fsqrt; fpatan; ret; ud2"},
    {"(x)\nacos(x)", "D9 E8 | DD 44 24 04 | DC C8 | DE E9 | D9 FA | DD 44 24 04 | D9 F3 | C3 0F 0B",
     "fld1; fld QWORD PTR [esp+0x4]; fmul st(0),st; fsubp st(1),st; fsqrt; fld QWORD PTR [esp+0x4]; fpatan; ret; ud2"},
    {"(x)\natan(x)", "DD 44 24 04 | D9 E8 | D9 F3 | C3 0F 0B", "fld QWORD PTR [esp+0x4]; fld1; fpatan; ret; ud2"},
    {"(x)\nsqrt(x)", "DD 44 24 04 | D9 FA | C3 0F 0B", "fld QWORD PTR [esp+0x4]; fsqrt; ret; ud2"},
    {"(x)\nexp(x)",
     "D9 EA | DC 4C 24 04 | 83 EC 08 | DB 14 24 | DA 24 24 | 81 04 24 FF 3F 00 00 | D9 F0 | D8 05 {ONE} |"
     "68 00 00 00 80 | 6A 00 | DB 2C 24 | DE C9 | 83 C4 10 | C3 0F 0B",
     "fldl2e; fmul QWORD PTR [esp+0x4]; sub esp,0x8; fist DWORD PTR [esp]; fisub DWORD PTR [esp];"
     "add DWORD PTR [esp],0x3fff; f2xm1; fadd DWORD PTR ds:*; push 0x80000000; push 0x0; fld TBYTE PTR [esp];"
     "fmulp st(1),st; add esp,0x10; ret; ud2"},
    {"(x)\nfact(x)", "DD 44 24 04 | 83 EC 08 | DD 1C 24 | B8 {FACT} | FF D0 | 83 C4 08 | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; sub esp,0x8; fstp QWORD PTR [esp]; mov eax,*; call eax; add esp,0x8; ret; ud2"},
    {"(x)\nlog(x)", "D9 ED | DD 44 24 04 | D9 F1 | C3 0F 0B", "fldln2; fld QWORD PTR [esp+0x4]; fyl2x; ret; ud2"},
    {"(x,y)\npow(x,y)",
     "DD 44 24 0C | DD 44 24 04 | 83 EC 10 | DD 1C 24 | DD 5C 24 08 | B8 {POW} | FF D0 | 83 C4 10 | C3 0F 0B",
     "fld QWORD PTR [esp+0xc]; fld QWORD PTR [esp+0x4]; sub esp,0x10; fstp QWORD PTR [esp];"
     "fstp QWORD PTR [esp+0x8]; mov eax,*; call eax; add esp,0x10; ret; ud2"},
    {"(x,y)\nx*y", "DD 44 24 04 | DC 4C 24 0C | C3 0F 0B", "fld QWORD PTR [esp+0x4]; fmul QWORD PTR [esp+0xc]; ret; ud2"},
    {"(x,y)\nx/y", "DD 44 24 04 | DC 74 24 0C | C3 0F 0B", "fld QWORD PTR [esp+0x4]; fdiv QWORD PTR [esp+0xc]; ret; ud2"},
    {"(x,y)\nx+y", "DD 44 24 04 | DC 44 24 0C | C3 0F 0B", "fld QWORD PTR [esp+0x4]; fadd QWORD PTR [esp+0xc]; ret; ud2"},
    {"(x,y)\nx-y", "DD 44 24 04 | DC 64 24 0C | C3 0F 0B", "fld QWORD PTR [esp+0x4]; fsub QWORD PTR [esp+0xc]; ret; ud2"},
    // the jz skips "fld y; fabs; faddp": size(y) 3 + 5
    {"(x,y)\nx%y",
     "DD 44 24 0C | DD 44 24 04 | D9 F8 | D9 E4 | DF E0 | 80 E4 01 | 74 08 | DD 44 24 0C | D9 E1 | DE C1 |"
     "D9 C9 | DD D8 | C3 0F 0B",
     "fld QWORD PTR [esp+0xc]; fld QWORD PTR [esp+0x4]; fprem; ftst; fnstsw ax; and ah,0x1; je *;"
     "fld QWORD PTR [esp+0xc]; fabs; faddp st(1),st; fxch st(1); fstp st(0); ret; ud2"},
    {"(x,y)\nx<y", "DD 44 24 04 | DC 5C 24 0C | DF E0 | 80 E4 01 | 74 04 | D9 E8 | EB 02 | D9 EE | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fcomp QWORD PTR [esp+0xc]; fnstsw ax; and ah,0x1; je *; fld1; jmp *; fldz; ret; ud2"},
    {"(x,y)\nx<=y", "DD 44 24 04 | DC 5C 24 0C | DF E0 | 80 E4 41 | 74 04 | D9 E8 | EB 02 | D9 EE | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fcomp QWORD PTR [esp+0xc]; fnstsw ax; and ah,0x41; je *; fld1; jmp *; fldz; ret; ud2"},
    {"(x,y)\nx>y", "DD 44 24 04 | DC 5C 24 0C | DF E0 | 80 E4 41 | 75 04 | D9 E8 | EB 02 | D9 EE | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fcomp QWORD PTR [esp+0xc]; fnstsw ax; and ah,0x41; jne *; fld1; jmp *; fldz; ret; ud2"},
    {"(x,y)\nx>=y", "DD 44 24 04 | DC 5C 24 0C | DF E0 | 80 E4 01 | 75 04 | D9 E8 | EB 02 | D9 EE | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fcomp QWORD PTR [esp+0xc]; fnstsw ax; and ah,0x1; jne *; fld1; jmp *; fldz; ret; ud2"},
    {"(x,y)\nx==y", "DD 44 24 04 | DC 5C 24 0C | DF E0 | 80 E4 40 | 74 04 | D9 E8 | EB 02 | D9 EE | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fcomp QWORD PTR [esp+0xc]; fnstsw ax; and ah,0x40; je *; fld1; jmp *; fldz; ret; ud2"},
    {"(x,y)\nx!=y", "DD 44 24 04 | DC 5C 24 0C | DF E0 | 80 E4 40 | 75 04 | D9 E8 | EB 02 | D9 EE | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fcomp QWORD PTR [esp+0xc]; fnstsw ax; and ah,0x40; jne *; fld1; jmp *; fldz; ret; ud2"},
    // both in memory: the jz skips both dwords of y (3 + 3) + 8
    {"(x,y)\nx&&y",
     "8B 44 24 04 | 0B 44 24 08 | 74 0E | 8B 44 24 0C | 0B 44 24 10 | 74 04 | D9 E8 | EB 02 | D9 EE | C3 0F 0B",
     "mov eax,DWORD PTR [esp+0x4]; or eax,DWORD PTR [esp+0x8]; je *; mov eax,DWORD PTR [esp+0xc];"
     "or eax,DWORD PTR [esp+0x10]; je *; fld1; jmp *; fldz; ret; ud2"},
    {"(x,y)\nx||y",
     "8B 44 24 04 | 0B 44 24 08 | 0B 44 24 0C | 0B 44 24 10 | 75 04 | D9 EE | EB 02 | D9 E8 | C3 0F 0B",
     "mov eax,DWORD PTR [esp+0x4]; or eax,DWORD PTR [esp+0x8]; or eax,DWORD PTR [esp+0xc];"
     "or eax,DWORD PTR [esp+0x10]; jne *; fldz; jmp *; fld1; ret; ud2"},
    // register form, chained on sin(x): the jnz skips size(y) 3 + 16
    {"(x,y)\nsin(x)&&y",
     "DD 44 24 04 | D9 FE | D9 E4 | DF E0 | DD D8 | 80 E4 40 | 75 13 | DD 44 24 0C | D9 E4 | DF E0 | DD D8 |"
     "80 E4 40 | 75 04 | D9 E8 | EB 02 | D9 EE | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fsin; ftst; fnstsw ax; fstp st(0); and ah,0x40; jne *; fld QWORD PTR [esp+0xc];"
     "ftst; fnstsw ax; fstp st(0); and ah,0x40; jne *; fld1; jmp *; fldz; ret; ud2"},
    {"(x,y)\nsin(x)||y",
     "DD 44 24 04 | D9 FE | D9 E4 | DF E0 | DD D8 | 80 E4 40 | 74 13 | DD 44 24 0C | D9 E4 | DF E0 | DD D8 |"
     "80 E4 40 | 74 04 | D9 EE | EB 02 | D9 E8 | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fsin; ftst; fnstsw ax; fstp st(0); and ah,0x40; je *; fld QWORD PTR [esp+0xc];"
     "ftst; fnstsw ax; fstp st(0); and ah,0x40; je *; fldz; jmp *; fld1; ret; ud2"},
    {"(x,y)\nmin(x,y)",
     "DD 44 24 04 | DC 5C 24 0C | DF E0 | 80 E4 41 | 75 06 | DD 44 24 0C | EB 04 | DD 44 24 04 | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fcomp QWORD PTR [esp+0xc]; fnstsw ax; and ah,0x41; jne *; fld QWORD PTR [esp+0xc];"
     "jmp *; fld QWORD PTR [esp+0x4]; ret; ud2"},
    {"(x,y)\nmax(x,y)",
     "DD 44 24 04 | DC 5C 24 0C | DF E0 | 80 E4 41 | 74 06 | DD 44 24 0C | EB 04 | DD 44 24 04 | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fcomp QWORD PTR [esp+0xc]; fnstsw ax; and ah,0x41; je *; fld QWORD PTR [esp+0xc];"
     "jmp *; fld QWORD PTR [esp+0x4]; ret; ud2"},
    {"(x,y)\nfmod(x,y)", "DD 44 24 0C | DD 44 24 04 | D9 F8 | D9 C9 | DD D8 | C3 0F 0B",
     "fld QWORD PTR [esp+0xc]; fld QWORD PTR [esp+0x4]; fprem; fxch st(1); fstp st(0); ret; ud2"},
    {"(x,y)\natan2(x,y)", "DD 44 24 04 | DD 44 24 0C | D9 F3 | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fld QWORD PTR [esp+0xc]; fpatan; ret; ud2"},
    {"(x,y)\nlog(x,y)", "D9 E8 | DD 44 24 04 | D9 F1 | D9 E8 | DD 44 24 0C | D9 F1 | DE F9 | C3 0F 0B",
     "fld1; fld QWORD PTR [esp+0x4]; fyl2x; fld1; fld QWORD PTR [esp+0xc]; fyl2x; fdivp st(1),st; ret; ud2"},
    {"(x)\nrnd",
     "A1 {RS} | 69 C0 FD 43 03 00 | 05 86 3D 4D 00 | A3 {RS} | C1 E8 11 | 83 EC 04 | 89 04 24 | DB 04 24 |"
     "83 C4 04 | D8 0D {R15} | C3 0F 0B",
     "mov eax,ds:*; imul eax,eax,0x343fd; add eax,0x4d3d86; mov ds:*,eax; shr eax,0x11; sub esp,0x4;"
     "mov DWORD PTR [esp],eax; fild DWORD PTR [esp]; add esp,0x4; fmul DWORD PTR ds:*; ret; ud2"},
    {"(x)\nnrnd", "51 | 52 | B8 {NRND} | FF D0 | 5A | 59 | C3 0F 0B",
     "push ecx; push edx; mov eax,*; call eax; pop edx; pop ecx; ret; ud2"},
    // NEQU0 in memory tests all 64 bits; in a register it tests with ftst
    {"(x)\nx!=0", "8B 44 24 04 | 0B 44 24 08 | 0F 84 04 00 00 00 | D9 E8 | EB 02 | D9 EE | C3 0F 0B",
     "mov eax,DWORD PTR [esp+0x4]; or eax,DWORD PTR [esp+0x8]; je *; fld1; jmp *; fldz; ret; ud2"},
    {"(x)\nsin(x)!=0",
     "DD 44 24 04 | D9 FE | D9 E4 | DF E0 | DD D8 | 80 E4 40 | 0F 85 04 00 00 00 | D9 E8 | EB 02 | D9 EE | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fsin; ftst; fnstsw ax; fstp st(0); and ah,0x40; jne *; fld1; jmp *; fldz; ret; ud2"},
    // one constant: mov edx, pool; NOP padding to 8; the double after ud2
    {"(x)\nx*3", "BA {POOL} | DD 44 24 04 | DC 0A | C3 0F 0B | 90 90 | @ 00 00 00 00 00 00 08 40",
     "mov edx,*; fld QWORD PTR [esp+0x4]; fmul QWORD PTR [edx]; ret; ud2"},
    // five temporaries: one spill slot, 12 bytes reserved, parameter 1 at [esp+16]
    {"(x)\na=x*x;b=sin(x);c=cos(x);d=sqrt(x);a+b+c+d",
     "83 C4 F4 | DD 44 24 10 | DC 4C 24 10 | DD 1C 24 | DD 44 24 10 | D9 FE | DD DC | DD 44 24 10 | D9 FF |"
     "DD DB | DD 44 24 10 | D9 FA | DD DA | DD 04 24 | D8 C4 | D8 C3 | D8 C2 | DD C4 | DD C3 | DD C2 | DD C1 |"
     "83 EC F4 | C3 0F 0B",
     "add esp,0xfffffff4; fld QWORD PTR [esp+0x10]; fmul QWORD PTR [esp+0x10]; fstp QWORD PTR [esp];"
     "fld QWORD PTR [esp+0x10]; fsin; fstp st(4); fld QWORD PTR [esp+0x10]; fcos; fstp st(3);"
     "fld QWORD PTR [esp+0x10]; fsqrt; fstp st(2); fld QWORD PTR [esp]; fadd st,st(4); fadd st,st(3);"
     "fadd st,st(2); ffree st(4); ffree st(3); ffree st(2); ffree st(1); sub esp,0xfffffff4; ret; ud2"},
    // code and pool of exactly 16 bytes get a 17-byte buffer; parameter 17 needs a disp32
    {"(a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q)\nsin(cos(sqrt(q)))",
     "DD 84 24 84 00 00 00 | D9 FA | D9 FF | D9 FE | C3 0F 0B | 00",
     "fld QWORD PTR [esp+0x84]; fsqrt; fcos; fsin; ret; ud2"},
    // ABS of a value stored elsewhere: the fstp st(2) becomes fst st(2)
    {"(x)\na=sin(x);abs(a)+a", "DD 44 24 04 | D9 FE | DD D2 | D9 E1 | D8 C2 | DD C2 | DD C1 | C3 0F 0B",
     "fld QWORD PTR [esp+0x4]; fsin; fst st(2); fabs; fadd st,st(2); ffree st(2); ffree st(1); ret; ud2"},
};

class goldenbytes : public testing::TestWithParam<goldenrow> {};

TEST_P(goldenbytes, ia32MatchesDocumentedSequence)
{
    const goldenrow &row = GetParam();
    compiled c = compileflavour(row.text, flavouria32);
    ASSERT_TRUE(c.ok) << c.error;
    std::vector<unsigned char> want = expandbytes(row.bytes, c.code, flavouria32);
    EXPECT_EQ(hexdump(c.bytes), hexdump(want)) << row.text;
}

TEST_P(goldenbytes, objdumpReadsTheIntendedInstructions)
{
    const goldenrow &row = GetParam();
    compiled c = compileflavour(row.text, flavouria32);
    ASSERT_TRUE(c.ok) << c.error;
    std::vector<std::string> got = disassemble(c.bytes, flavouria32);
    if (got.size() == 1 && got[0] == "objdump-missing")
        GTEST_SKIP() << "objdump not available";
    std::vector<std::string> want = splitinstructions(row.instructions);
    ASSERT_EQ(got.size(), want.size()) << row.text;
    for (size_t i = 0; i < want.size(); i++)
        EXPECT_TRUE(wildmatch(want[i].c_str(), got[i].c_str()))
            << row.text << "\n  instruction " << i << ": objdump '" << got[i] << "', intended '" << want[i] << "'";
}

// The x87 instructions of the x64 flavour are those of ia32, one for one:
// same mnemonics, same register operands, same memory operand sizes (as long
// as ia32 needs no spill slot; x64 has more register homes).
std::vector<std::string> x87stream(const std::vector<std::string> &ins)
{
    std::vector<std::string> out;
    for (const std::string &s : ins) {
        if (s.empty() || s[0] != 'f')
            continue;
        size_t bracket = s.find(" PTR ");
        out.push_back(bracket == std::string::npos ? s : s.substr(0, bracket));
    }
    return out;
}

TEST_P(goldenbytes, x64KeepsTheSameX87Instructions)
{
    const goldenrow &row = GetParam();
    compiled a = compileflavour(row.text, flavouria32);
    if (cs.spillcount > 0)
        GTEST_SKIP() << "x64 keeps ia32's spilled temporaries in registers: see the x64 rows";
    compiled b = compileflavour(row.text, flavourx64);
    ASSERT_TRUE(a.ok && b.ok);
    std::vector<std::string> da = disassemble(a.bytes, flavouria32);
    std::vector<std::string> db = disassemble(b.bytes, flavourx64);
    if (da.size() == 1 && da[0] == "objdump-missing")
        GTEST_SKIP() << "objdump not available";
    EXPECT_EQ(x87stream(da), x87stream(db)) << row.text;
    for (const std::string &s : db)
        EXPECT_EQ(s.find("(bad)"), std::string::npos) << row.text;
    EXPECT_EQ(db.back(), "ud2") << row.text;
}

// Test names from the body text: "r07_sgn_x".
std::string rowname(const testing::TestParamInfo<goldenrow> &info)
{
    const char *body = std::strchr(info.param.text, '\n') + 1;
    std::string name = "r" + std::to_string(info.index / 10) + std::to_string(info.index % 10) + "_";
    for (const char *p = body; *p && name.size() < 24; p++)
        if (std::isalnum((unsigned char)*p))
            name += *p;
        else if (name.back() != '_')
            name += '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(templates, goldenbytes, testing::ValuesIn(golden), rowname);

// What 64-bit mode changes: the parameters read in place through rsi (a
// copy in the frame only for code that assigns one), the pool and the float
// constants after it reached RIP-relative, wider addresses, REX.W on rsp,
// and as many register homes as the templates leave room for.
const goldenrow x64rows[] = {
    {"(x)\nx", "DD 06 | C3 | 0F 0B", "fld QWORD PTR [rsi]; ret; ud2"},
    // the pool at 16: the displacement counts from the end of the fmul (8)
    {"(x)\nx*3", "DD 06 | DC 0D 08 00 00 00 | C3 0F 0B | 90 90 90 90 90 | 00 00 00 00 00 00 08 40",
     "fld QWORD PTR [rsi]; fmul QWORD PTR [rip+0x8]*; ret; ud2"},
    // five temporaries, all in registers: no frame at all
    {"(x)\na=x*x;b=sin(x);c=cos(x);d=sqrt(x);a+b+c+d",
     "DD 06 | DC 0E | DD DD | DD 06 | D9 FE | DD DC | DD 06 | D9 FF | DD DB | DD 06 | D9 FA | DD DA | D9 C4 |"
     "D8 C4 | D8 C3 | D8 C2 | DD C5 | DD C4 | DD C3 | DD C2 | DD C1 | C3 0F 0B",
     "fld QWORD PTR [rsi]; fmul QWORD PTR [rsi]; fstp st(5); fld QWORD PTR [rsi]; fsin; fstp st(4);"
     "fld QWORD PTR [rsi]; fcos; fstp st(3); fld QWORD PTR [rsi]; fsqrt; fstp st(2); fld st(4); fadd st,st(4);"
     "fadd st,st(3); fadd st,st(2); ffree st(5); ffree st(4); ffree st(3); ffree st(2); ffree st(1); ret; ud2"},
    // ASIN goes three values deep: five homes, the sixth temporary spills
    {"(x)\na=x*x;b=sin(x);c=cos(x);d=sqrt(x);e=asin(x);a+b+c+d+e",
     "48 83 C4 F0 | DD 06 | DC 0E | DD 1C 24 | DD 06 | D9 FE | DD DD | DD 06 | D9 FF | DD DC | DD 06 | D9 FA |"
     "DD DB | DD 06 | D9 E8 | D9 C1 | D8 CA | DE E9 | D9 FA | D9 F3 | DD DA | DD 04 24 | D8 C5 | D8 C4 | D8 C3 |"
     "D8 C2 | DD C5 | DD C4 | DD C3 | DD C2 | DD C1 | 48 83 EC F0 | C3 0F 0B",
     "add rsp,0xfffffffffffffff0; fld QWORD PTR [rsi]; fmul QWORD PTR [rsi]; fstp QWORD PTR [rsp];"
     "fld QWORD PTR [rsi]; fsin; fstp st(5); fld QWORD PTR [rsi]; fcos; fstp st(4); fld QWORD PTR [rsi]; fsqrt;"
     "fstp st(3); fld QWORD PTR [rsi]; fld1; fld st(1); fmul st,st(2); fsubp st(1),st; fsqrt; fpatan; fstp st(2);"
     "fld QWORD PTR [rsp]; fadd st,st(5); fadd st,st(4); fadd st,st(3); fadd st,st(2); ffree st(5); ffree st(4);"
     "ffree st(3); ffree st(2); ffree st(1); sub rsp,0xfffffffffffffff0; ret; ud2"},
    // a run-time routine needs four registers: four homes, two spill slots
    {"(x)\na=x*x;b=sin(x);c=cos(x);d=sqrt(x);a+b+c+d+fact(x)",
     "48 83 C4 E8 | DD 06 | DC 0E | DD 5C 24 08 | DD 06 | D9 FE | DD 1C 24 | DD 06 | D9 FF | DD DC | DD 06 |"
     "D9 FA | DD DB | DD 06 | 48 83 EC 08 | DD 1C 24 | 48 B8 {FACT} | FF D0 | 48 83 C4 08 | DD DA |"
     "DD 44 24 08 | DC 04 24 | D8 C4 | D8 C3 | D8 C2 | DD C4 | DD C3 | DD C2 | DD C1 | 48 83 EC E8 | C3 0F 0B",
     "add rsp,0xffffffffffffffe8; fld QWORD PTR [rsi]; fmul QWORD PTR [rsi]; fstp QWORD PTR [rsp+0x8];"
     "fld QWORD PTR [rsi]; fsin; fstp QWORD PTR [rsp]; fld QWORD PTR [rsi]; fcos; fstp st(4); fld QWORD PTR [rsi];"
     "fsqrt; fstp st(3); fld QWORD PTR [rsi]; sub rsp,0x8; fstp QWORD PTR [rsp]; movabs rax,*; call rax;"
     "add rsp,0x8; fstp st(2); fld QWORD PTR [rsp+0x8]; fadd QWORD PTR [rsp]; fadd st,st(4); fadd st,st(3);"
     "fadd st,st(2); ffree st(4); ffree st(3); ffree st(2); ffree st(1); sub rsp,0xffffffffffffffe8; ret; ud2"},
    // an assigned parameter: both are copied into the frame (8 P + 8) first
    {"(x,y)\nx=x+y;x*y",
     "48 83 C4 E8 | 48 8B 06 | 48 89 04 24 | 48 8B 46 08 | 48 89 44 24 08 | DD 04 24 | DC 44 24 08 | DD DA |"
     "D9 C1 | DD 1C 24 | DD 04 24 | DC 4C 24 08 | DD C2 | DD C1 | 48 83 EC E8 | C3 0F 0B",
     "add rsp,0xffffffffffffffe8; mov rax,QWORD PTR [rsi]; mov QWORD PTR [rsp],rax; mov rax,QWORD PTR [rsi+0x8];"
     "mov QWORD PTR [rsp+0x8],rax; fld QWORD PTR [rsp]; fadd QWORD PTR [rsp+0x8]; fstp st(2); fld st(1);"
     "fstp QWORD PTR [rsp]; fld QWORD PTR [rsp]; fmul QWORD PTR [rsp+0x8]; ffree st(2); ffree st(1);"
     "sub rsp,0xffffffffffffffe8; ret; ud2"},
    // random state through moffs64; 2^-15, the fourth float after the (empty) pool, at 68
    {"(x)\nrnd",
     "A1 {RS} | 69 C0 FD 43 03 00 | 05 86 3D 4D 00 | A3 {RS} | C1 E8 11 | 48 83 EC 04 | 89 04 24 | DB 04 24 |"
     "48 83 C4 04 | D8 0D 10 00 00 00 | C3 0F 0B | 90 | 00 00 80 BF 00 00 00 3F 00 00 80 3F 00 00 00 38",
     "movabs eax,ds:*; imul eax,eax,0x343fd; add eax,0x4d3d86; movabs ds:*,eax; shr eax,0x11;"
     "sub rsp,0x4; mov DWORD PTR [rsp],eax; fild DWORD PTR [rsp]; add rsp,0x4; fmul DWORD PTR [rip+0x10]*; ret; ud2"},
    {"(x)\nnrnd", "51 | 52 | 48 B8 {NRND} | FF D0 | 5A | 59 | C3 0F 0B",
     "push rcx; push rdx; movabs rax,*; call rax; pop rdx; pop rcx; ret; ud2"},
    {"(x)\nfact(x)", "DD 06 | 48 83 EC 08 | DD 1C 24 | 48 B8 {FACT} | FF D0 | 48 83 C4 08 | C3 0F 0B",
     "fld QWORD PTR [rsi]; sub rsp,0x8; fstp QWORD PTR [rsp]; movabs rax,*; call rax; add rsp,0x8; ret; ud2"},
    // the 80-bit 2^n built with stores; 1.0, the third float after the pool, at 72
    {"(x)\nexp(x)",
     "D9 EA | DC 0E | 48 83 EC 10 | DB 54 24 08 | DA 64 24 08 | 81 44 24 08 FF 3F 00 00 | D9 F0 |"
     "D8 05 28 00 00 00 | C7 44 24 04 00 00 00 80 | C7 04 24 00 00 00 00 | DB 2C 24 | DE C9 | 48 83 C4 10 |"
     "C3 0F 0B | 90 90 90 90 90 | 00 00 80 BF 00 00 00 3F 00 00 80 3F 00 00 00 38",
     "fldl2e; fmul QWORD PTR [rsi]; sub rsp,0x10; fist DWORD PTR [rsp+0x8];"
     "fisub DWORD PTR [rsp+0x8]; add DWORD PTR [rsp+0x8],0x3fff; f2xm1; fadd DWORD PTR [rip+0x28]*;"
     "mov DWORD PTR [rsp+0x4],0x80000000; mov DWORD PTR [rsp],0x0; fld TBYTE PTR [rsp]; fmulp st(1),st;"
     "add rsp,0x10; ret; ud2"},
    // -1.0 after the one-constant pool (at 56); the je skips the 6-byte fld and the jmp
    {"(x)\nsgn(x)+2",
     "DD 06 | D9 E4 | DF E0 | DD D8 | 66 A9 00 01 | 74 08 | D9 05 24 00 00 00 | EB 0C | 66 A9 00 40 | 74 04 |"
     "D9 EE | EB 02 | D9 E8 | DC 05 08 00 00 00 | C3 0F 0B | 90 90 90 90 90 | 00 00 00 00 00 00 00 40 |"
     "00 00 80 BF 00 00 00 3F 00 00 80 3F 00 00 00 38",
     "fld QWORD PTR [rsi]; ftst; fnstsw ax; fstp st(0); test ax,0x100; je *; fld DWORD PTR [rip+0x24]*; jmp *;"
     "test ax,0x4000; je *; fldz; jmp *; fld1; fadd QWORD PTR [rip+0x8]*; ret; ud2"},
};

class x64bytes : public testing::TestWithParam<goldenrow> {};

TEST_P(x64bytes, matchesItsRow)
{
    const goldenrow &row = GetParam();
    compiled c = compileflavour(row.text, flavourx64);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(hexdump(c.bytes), hexdump(expandbytes(row.bytes, c.code, flavourx64))) << row.text;
    std::vector<std::string> got = disassemble(c.bytes, flavourx64);
    if (got.size() == 1 && got[0] == "objdump-missing")
        GTEST_SKIP() << "objdump not available";
    std::vector<std::string> want = splitinstructions(row.instructions);
    ASSERT_EQ(got.size(), want.size()) << row.text;
    for (size_t i = 0; i < want.size(); i++)
        EXPECT_TRUE(wildmatch(want[i].c_str(), got[i].c_str()))
            << row.text << "\n  instruction " << i << ": objdump '" << got[i] << "', intended '" << want[i] << "'";
}

INSTANTIATE_TEST_SUITE_P(flavour, x64bytes, testing::ValuesIn(x64rows), rowname);

// ---------------------------------------------------------------- frame, chain and jumps

TEST(codegen, layoutRewritesOperandsAndRecordsTheFrame)
{
    struct {
        const char *text;
        exprflavour flavour;
        uint32_t spills, base;
    } rows[] = {
        {"(x)\nx", flavouria32, 0, 4},
        {"(x)\nx", flavourx64, 0, 0},
        {"(x)\na=x*x;b=sin(x);c=cos(x);d=sqrt(x);a+b+c+d", flavouria32, 1, 16},
        {"(x)\na=x*x;b=sin(x);c=cos(x);d=sqrt(x);a+b+c+d", flavourx64, 0, 0},
        {"(x)\na=x*x;b=sin(x);c=cos(x);d=sqrt(x);a+b+c+d+fact(x)", flavourx64, 2, 0},
        {"(x,y)\nx=x+y;x*y", flavourx64, 0, 0},
    };
    for (auto &r : rows) {
        compiled c = compileflavour(r.text, r.flavour);
        ASSERT_TRUE(c.ok) << c.error;
        EXPECT_EQ(cs.spillcount, r.spills) << r.text;
        EXPECT_EQ(cs.parambase, r.base) << r.text;
        for (uint32_t i = 0; i < cs.quadcount; i++)
            for (uint32_t w : {cs.quads[i].dst, cs.quads[i].src1, cs.quads[i].src2})
                EXPECT_NE(operandkind(w), (uint32_t)kindtemp) << "temporary left after layout in " << r.text;
    }
}

// Many spill slots: the frame needs add esp, imm32 once 8S + 4 passes 128.
TEST(codegen, largeFramesUseImm32)
{
    std::string text = "(x)\n";
    for (int i = 0; i < 20; i++)
        text += "a" + std::to_string(i) + "=sin(x*" + std::to_string(i + 2) + ");";
    for (int i = 0; i < 20; i++)
        text += (i ? "+a" : "a") + std::to_string(i);
    compiled c = compileflavour(text.c_str(), flavouria32);
    ASSERT_TRUE(c.ok) << c.error;
    uint32_t reserve = 8 * cs.spillcount + 4;
    ASSERT_GT(reserve, 128u);
    ASSERT_GE(c.bytes.size(), 12u);
    // mov edx, pool; add esp, -reserve as 81 C4 id
    EXPECT_EQ(c.bytes[5], 0x81);
    EXPECT_EQ(c.bytes[6], 0xC4);
    uint32_t imm = c.bytes[7] | c.bytes[8] << 8 | c.bytes[9] << 16 | (uint32_t)c.bytes[10] << 24;
    EXPECT_EQ(imm, 0u - reserve);
    EXPECT_EQ(cs.parambase, 8 * cs.spillcount + 8);
}

// Every rel32 lands on its label: follow each jump in the disassembly.
TEST(codegen, jumpsLandOnTheirLabels)
{
    const char *texts[] = {
        "(x)\ny=0;if (x>0) y=x; y",
        "(x)\ndo x-=1; while(x>0); x",
        "(x)\na=0; for (i=0; i<x; i+=1) { if (i>3) a+=i; else a-=1; } a",
        "(x)\nn=0; top: n+=1; if (n<x) goto top; n",
    };
    for (const char *t : texts) {
        compiled c = compileflavour(t, flavouria32);
        ASSERT_TRUE(c.ok) << c.error;
        // each label offset is a position the code reaches; each fixup points past a rel32
        for (uint32_t f = 0; f < cs.fixupcount; f++) {
            uint32_t at = cs.fixups[f];
            int32_t rel = (int32_t)(c.bytes[at - 4] | c.bytes[at - 3] << 8 | c.bytes[at - 2] << 16 |
                                    (uint32_t)c.bytes[at - 1] << 24);
            uint32_t target = at + rel;
            bool islabel = false;
            for (uint32_t q = 0; q < cs.quadcount; q++)
                if (cs.quads[q].op == opnul && cs.labeloffsets[operandvalue(cs.quads[q].dst)] == target)
                    islabel = true;
            EXPECT_TRUE(islabel) << t << ": jump " << f << " lands at " << target;
        }
        EXPECT_GT(cs.fixupcount, 0u) << t;
    }
}

TEST(codegen, sameTextSameBytes)
{
    compiled a = compileflavour("(x,y)\nq=sin(x)*y; if (q>0) q=sqrt(q); q+fact(y)", flavouria32);
    compiled b = compileflavour("(x,y)\nq=sin(x)*y; if (q>0) q=sqrt(q); q+fact(y)", flavouria32);
    ASSERT_TRUE(a.ok && b.ok);
    // only the pool address differs between two buffers
    ASSERT_EQ(a.bytes.size(), b.bytes.size());
    EXPECT_EQ(hexdump({a.bytes.begin() + 5, a.bytes.end()}), hexdump({b.bytes.begin() + 5, b.bytes.end()}));
}

// ---------------------------------------------------------------- failures

TEST(codegen, codeBufferFailuresGiveTheMessage)
{
    struct {
        exprdialect dialect;
        int fault;
        const char *message;
    } rows[] = {
        {dialectpelmora, 1, "ERROR: malloc failed"},
        {dialectvrastik, 1, "ERROR: COMPCODE MALLOC FAILED"},
        {dialectpelmora, 2, "ERROR: malloc failed"},
        {dialectvrastik, 2, "ERROR: COMPCODE MALLOC FAILED"},
    };
    for (auto &r : rows) {
        setexprdialect(r.dialect);
        setcodememoryfault(r.fault);
        EXPECT_EQ(compileexpr("(x)\nx+1"), nullptr);
        EXPECT_STREQ(compileerror(), r.message);
    }
    setexprdialect(dialectpelmora);
    EXPECT_NE(compileexpr("(x)\nx+1"), nullptr);
}

TEST(codegen, rejectsBodiesEndingInLabelsOrJumps)
{
    // the code generator's own check, for quad lists the front end might let through
    ASSERT_NE(compileexpr("(x)\nx"), nullptr);
    cs.quads[1] = {labeloperand(1), labeloperand(1), labeloperand(1), opnul};
    cs.failed = false;
    EXPECT_EQ(generatecode(), nullptr);
    EXPECT_STREQ(compileerror(), "ERROR: missing return value");
    cs.quads[1] = {labeloperand(1), labeloperand(1), labeloperand(1), opgoto};
    cs.failed = false;
    cs.error[0] = 0;
    EXPECT_EQ(generatecode(), nullptr);
    EXPECT_STREQ(compileerror(), "ERROR: missing return value");
}

} // namespace

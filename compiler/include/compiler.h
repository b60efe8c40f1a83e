// The expression compiler: text in, native x87 code out.
//
//   compileexpr  preprocess, parse into quads, optimise, generate code
//   exprcall     run compiled code with double arguments (the only way to call it)
//   exprfree     release the code of an expression that is no longer wanted
//   exprlist     listing of the last compilation's quads and code bytes
//   compileerror, compileerrorat, exprplaceof
//                what the last compilation found wrong, where in the text, and
//                that place as a line and column
//
// The compiler keeps one global state (not reentrant). Compiled buffers belong
// to the caller and stay valid until the caller frees them with exprfree.
#pragma once
#include <cstdint>

// A compiled expression: the entry of an executable code buffer.
typedef const void *exprfunc;

// Wording of the error messages: each program chooses its own once at start-up.
enum exprdialect { dialectpelmora = 0, dialectvrastik = 1 };

// Code flavour: ia32 is the 32-bit design, byte for byte; x64 is the same x87
// code with the addressing, stack and call encodings 64-bit mode needs.
enum exprflavour { flavouria32 = 0, flavourx64 = 1 };

// The flavour that runs natively in this process.
#if defined(__x86_64__)
constexpr exprflavour nativeflavour = flavourx64;
#else
constexpr exprflavour nativeflavour = flavouria32;
#endif

void setexprdialect(exprdialect d);

// Flavour of the code compileexpr emits; only the native flavour can be called.
// Tests and the listing tool select the other one to inspect its bytes.
void setexprflavour(exprflavour f);

// Compile a zero-terminated text (header and body). Returns the function, or
// nullptr with the message in compileerror().
exprfunc compileexpr(const char *text);

// The NUL-terminated message (at most 255 characters) of the last failure.
const char *compileerror();

// Where the last failure lies in the text given to compileexpr, as a byte
// offset into that very text (comments, blanks and the header counted as
// written): 0 up to the text's length, the length itself meaning "at the
// end". -1 when the failure lies in no text (memory ran out) and after a
// successful compilation. The place is the first byte that cannot be read
// (an undefined name, a stray ")", a bad header character), the bracket
// left open, the keyword or function whose parameters are wrong, or, when
// something is missing, where it was expected (a ";" just after the last
// byte of its statement, a return value at the end of the body).
int compileerrorat();

// A byte offset of a text as a person sees it. Lines end at LF (a CR before
// the LF belongs to the line break); line and column start at 1, and the
// column counts bytes from the line's start, a tab as one column, as in a
// fixed-width editor. The line holding the place is text[start, start + length),
// without its line break: print it with a mark under `column`.
struct exprplace {
    int line;
    int column;
    int start;       // offset of the line's first byte
    int length;      // bytes of the line, its line break left out
};

// The place of byte `offset` of `text` (held to 0 .. strlen(text)).
// A caller that shows only part of the text, such as an editor holding the
// body after a fixed header line, passes that part and the offset less the
// part's start:
//   exprfunc f = compileexpr(text);
//   if (!f && compileerrorat() >= headerlength) {
//       exprplace p = exprplaceof(text + headerlength, compileerrorat() - headerlength);
//       ... "%s (line %d, column %d)", compileerror(), p.line, p.column
//   }
exprplace exprplaceof(const char *text, int offset);

// Call compiled code of the native flavour with `count` doubles, under the
// x87 control word 0x027F (53-bit precision, round to nearest, exceptions
// masked). A caller already at 0x027F keeps it untouched (reading the word
// costs almost nothing, loading it is what costs); any other word is set for
// the call and restored afterwards. `args` must hold every parameter the expression's
// header declares: the x64 code reads them in place. Safe to call from
// several threads at once unless the code draws random numbers.
extern "C" double exprcall(exprfunc f, const double *args, int count);

// Loops of many calls set the control word once around the loop:
//   uint16_t saved = exprcallsbegin();  ... exprcall ...  exprcallsend(saved);
// exprcallsbegin returns the caller's word and loads 0x027F; exprcallsend
// loads the word it is given. The results are the same bits either way.
uint16_t exprcallsbegin();
void exprcallsend(uint16_t saved);

// Release the code of f (nothing for nullptr). f must not be called again;
// exprdrawsrandom forgets it.
void exprfree(exprfunc f);

// Code buffers compiled and not yet freed.
int exprlivecode();

// Whether compiled code draws from the random state of RND and NRND. Such
// code must be called in a fixed order from one thread; code that draws
// none may be called from several threads at once.
bool exprdrawsrandom(exprfunc f);

// Set the random state of RND and NRND to 2 * seed.
void exprseed(int32_t seed);

// Forget a pending NRND deviate (none is pending at program start).
void exprresetnormal();

// Free every work array and the code the compiler keeps for itself (the last
// buffer of a foreign flavour, which no caller can run); the next compileexpr
// creates the arrays again. Code handed to callers stays theirs to free.
void exprrelease();

// Listing of the last compilation: bit 0 the quads, bit 1 the hex dump of the code.
const char *exprlist(int flags);

// Number of parameters the last compiled text declared in its header (-1
// before the first compilation or when the header itself was faulty).
int exprparamcount();

// Size in bytes of the last code buffer (0 before the first successful compilation).
int exprcodesize();

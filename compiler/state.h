// The compiler's one global state, the op table, operand words and messages.
//
// Every stage (preprocess, parse, optimise, generate code, listing) works on
// the record `cs` (state.cpp) through the helpers below, never through the
// driver (compileexpr.cpp). Work arrays only grow; releasestate empties them.
#pragma once
#include <cstdint>
#include "compiler.h"

// ---------------------------------------------------------------- op table
// X(code, enum name, name in messages, listing format, sources, level, traits)
// sources: operands read (IF0/IF1 read source 1, the label is source 2).
// level: binding level of a binary operator (0 tightest), 255 for the rest.
// traits: opfolds, the value over constant sources is known when compiling;
// optruth, the value is always 0 or 1 (comparisons and logical operators).
constexpr int opfolds = 1;
constexpr int optruth = 2;
#define EXPROPS(X) \
    X(0, opnul, "NUL", "", 0, 255, 0) \
    X(1, opgoto, "GOTO", "", 0, 255, 0) \
    X(2, oprnd, "RND", "RND()", 0, 255, 0) \
    X(3, opnrnd, "NRND", "NRND()", 0, 255, 0) \
    X(4, opnop, "NOP", "%s", 1, 255, 0) \
    X(5, opmov, "MOV", "%s", 1, 255, 0) \
    X(6, opnegmov, "NEGMOV", "-%s", 1, 255, 0) \
    X(7, opnequ0, "NEQU0", "%s != 0", 1, 255, opfolds) \
    X(8, opif0, "IF0", "", 1, 255, 0) \
    X(9, opif1, "IF1", "", 1, 255, 0) \
    X(10, opabs, "ABS", "ABS(%s)", 1, 255, opfolds) \
    X(11, opsgn, "SGN", "SGN(%s)", 1, 255, opfolds) \
    X(12, opunit, "UNIT", "UNIT(%s)", 1, 255, opfolds) \
    X(13, opfloor, "FLOOR", "FLOOR(%s)", 1, 255, opfolds) \
    X(14, opceil, "CEIL", "CEIL(%s)", 1, 255, opfolds) \
    X(15, opsin, "SIN", "SIN(%s)", 1, 255, opfolds) \
    X(16, opcos, "COS", "COS(%s)", 1, 255, opfolds) \
    X(17, optan, "TAN", "TAN(%s)", 1, 255, opfolds) \
    X(18, opasin, "ASIN", "ASIN(%s)", 1, 255, opfolds) \
    X(19, opacos, "ACOS", "ACOS(%s)", 1, 255, opfolds) \
    X(20, opatan, "ATAN", "ATAN(%s)", 1, 255, opfolds) \
    X(21, opsqrt, "SQRT", "SQRT(%s)", 1, 255, opfolds) \
    X(22, opexp, "EXP", "EXP(%s)", 1, 255, opfolds) \
    X(23, opfact, "FACT", "FACT(%s)", 1, 255, opfolds) \
    X(24, oplog, "LOG", "LOG(%s)", 1, 255, opfolds) \
    X(25, oppow, "POW", "POW(%s,%s)", 2, 0, opfolds) \
    X(26, opmul, "*", "%s * %s", 2, 1, opfolds) \
    X(27, opdiv, "/", "%s / %s", 2, 1, opfolds) \
    X(28, opmod, "%%", "%s %% %s", 2, 1, opfolds) \
    X(29, opadd, "+", "%s + %s", 2, 2, opfolds) \
    X(30, opsub, "-", "%s - %s", 2, 2, opfolds) \
    X(31, oplt, "<", "%s < %s", 2, 3, opfolds | optruth) \
    X(32, ople, "<=", "%s <= %s", 2, 3, opfolds | optruth) \
    X(33, opgt, ">", "%s > %s", 2, 3, opfolds | optruth) \
    X(34, opge, ">=", "%s >= %s", 2, 3, opfolds | optruth) \
    X(35, opeq, "==", "%s == %s", 2, 4, opfolds | optruth) \
    X(36, opne, "!=", "%s != %s", 2, 4, opfolds | optruth) \
    X(37, opand, "&&", "%s && %s", 2, 5, opfolds | optruth) \
    X(38, opor, "||", "%s || %s", 2, 6, opfolds | optruth) \
    X(39, opmin, "MIN", "MIN(%s,%s)", 2, 255, opfolds) \
    X(40, opmax, "MAX", "MAX(%s,%s)", 2, 255, opfolds) \
    X(41, opfmod, "FMOD", "FMOD(%s,%s)", 2, 255, opfolds) \
    X(42, opatan2, "ATAN2", "ATAN2(%s,%s)", 2, 255, opfolds) \
    X(43, oplogb, "LOGB", "LOG(%s,%s)", 2, 255, opfolds)

enum exprop : uint32_t {
#define EXPROPENUM(code, id, name, format, sources, level, traits) id = code,
    EXPROPS(EXPROPENUM)
#undef EXPROPENUM
    opcount
};

struct opinfo {
    const char *name;    // as in messages ("SIN doesn't take 2 params")
    const char *format;  // listing: printf format over source texts
    int sources;         // operands read (IF0/IF1 read source 1)
    int level;           // binding level of a binary operator, 255 otherwise
    int traits;          // opfolds, optruth
};
extern const opinfo optable[opcount];

// ---------------------------------------------------------------- operand words
// Bits 28..31 kind, bits 0..27 value. Temporaries, constants, parameters and
// register homes carry 8 * index; labels carry their number.
enum operandkind : uint32_t {
    kindtemp = 1,
    kindconst = 2,
    kindstack = 4,     // parameter before layout; stack displacement after it
    kindargument = 5,  // after layout (x64): parameter read in place, 8 * index from rsi
    kindlabel = 8,
    kindregister = 9,  // x87 register home, after layout
};
constexpr uint32_t dummyoperand = 0x20000001u;

constexpr uint32_t makeoperand(uint32_t kind, uint32_t value) { return kind << 28 | (value & 0x0FFFFFFFu); }
constexpr uint32_t operandkind(uint32_t w) { return w >> 28; }
constexpr uint32_t operandvalue(uint32_t w) { return w & 0x0FFFFFFFu; }
constexpr uint32_t tempoperand(uint32_t k) { return makeoperand(kindtemp, 8 * k); }
constexpr uint32_t constoperand(uint32_t k) { return makeoperand(kindconst, 8 * k); }
constexpr uint32_t paramoperand(uint32_t k) { return makeoperand(kindstack, 8 * k); }
constexpr uint32_t labeloperand(uint32_t n) { return makeoperand(kindlabel, n); }
constexpr bool istemp(uint32_t w) { return operandkind(w) == kindtemp; }
constexpr bool isconst(uint32_t w) { return operandkind(w) == kindconst && w != dummyoperand; }
constexpr bool islabel(uint32_t w) { return operandkind(w) == kindlabel; }
// Index of a temporary, constant, parameter or register home (value / 8).
constexpr uint32_t operandindex(uint32_t w) { return operandvalue(w) / 8; }

// ---------------------------------------------------------------- quads
struct quad {
    uint32_t dst, src1, src2, op;
};

// Label entry: label number, top bit set while used by a GOTO but not defined.
constexpr uint32_t labelundefined = 0x80000000u;

// ---------------------------------------------------------------- messages
enum msgid {
    msgworkmalloc,      // work arrays or text copy
    msgcodemalloc,      // code buffer
    msgnofunction,
    msgblankparam,
    msgbadchar,         // %c
    msgtoomany,
    msgnotenough,
    msgnested,
    msglabelnotfound,   // %s
    msgnoreturn,
    msgparamcount,      // %s op name, %d count, %p plural ending
    msgforfields,
    msgdostatement,
    msgdowhile,
    msgdoparam,
    msgwhilesemicolon,
    msgloopstatement,   // statement of FOR or WHILE
    msggotolabel,
    msgifparam,
    msgifstatement,
    msgelsestatement,
    msgwhileparam,
    msgmissingsemicolon,
    msgblankexpr,
    msgcolonlabel,
    msgundefined,       // %s
    msgtoodeep,         // statements nested deeper than the parser allows
    msgtoolong,         // more temporaries than a call's stack frame may hold
    msgcount
};

// The wording of message `id` in dialect `d`. Besides %s (a name, cut to fit)
// the formats use %c (a character), %d (a count) and %p ("s" unless count is 1).
const char *messageformat(exprdialect d, msgid id);

// Where an error lies: a byte offset into the text given to compileexpr
// (0 up to its length), or noplace when it lies in no text (memory ran out).
constexpr int32_t noplace = -1;

// Set the compile error text and its place (the first failure wins) and the
// failed flag. `name` fills %s, `number` fills %d and %p, and %c as a character.
void compilefail(msgid id, int32_t place, const char *name = "", int number = 0);

// ---------------------------------------------------------------- state
constexpr int errorsize = 256;
constexpr uint32_t slotsinitial = 1024;    // quads, operator and next per slot, pool
constexpr uint32_t labelsinitial = 256;    // label entries, label offsets, jump fixups
constexpr uint32_t textinitial = 1024;     // name text, label name text
constexpr uint32_t localsinitial = 256;    // local binding per name

struct compilerstate {
    // Slot group: one capacity for all four arrays.
    quad *quads;
    uint32_t *opbefore;      // binary operator written before operand slot k
    uint32_t *next;          // operand chain of the expression being parsed
    double *pool;            // constant pool
    uint32_t capacity;

    // Label group: one capacity for the four arrays.
    uint32_t *labelentries;  // label number | labelundefined
    uint32_t *labelplaces;   // source offset of each label name's first appearance
    uint32_t *labeloffsets;  // code offset per label number (code generator)
    uint32_t *fixups;        // code offset after each jump's rel32 (code generator)
    uint32_t labelcapacity;

    char *names;             // parameter names, then local names, zero-separated
    uint32_t namescapacity;
    uint32_t namesused;      // bytes of name text
    uint32_t *localbinding;  // per name: the temporary index bound to a local
    uint32_t localcapacity;
    char *labelnames;        // label names in order of first appearance
    uint32_t labelnamescapacity;
    uint32_t labelnamesused;

    uint32_t quadcount;
    uint32_t constcount;
    uint32_t slotcount;      // next free operand slot (= next new temporary)
    uint32_t labelcounter;   // next label number, starts at 1
    uint32_t namecount;
    int32_t paramcount;      // negative while the header is read
    uint32_t labelcount;     // entries in the label table
    uint32_t fixupcount;     // jumps recorded by the code generator

    // Filled by the code generator's layout, read by the listing.
    uint32_t spillcount;     // S: temporaries living in stack slots
    uint32_t parambase;      // B: displacement of parameter 1 (in place: 0 from rsi)

    // The last successful code buffer (owned by the caller; kept for the listing).
    const unsigned char *code;
    int codesize;

    // Places in the text the user wrote. While the body is parsed, origin[i]
    // is the source offset of preprocessed byte i (the body's end included).
    const uint32_t *origin;
    int32_t bodystart;       // source offset of the body's first byte
    int32_t bodyend;         // just after the body's last byte (comments and blanks after it left out)

    char error[errorsize];
    int32_t errorplace;      // of the first failure, or noplace
    bool failed;
    exprdialect dialect;
    exprflavour flavour = nativeflavour;
    bool debugdump;          // print the quads after every optimiser pass
    bool nooptimise;         // tests: generate code for the quads as parsed
};

extern compilerstate cs;

// ---------------------------------------------------------------- the state's helpers (state.cpp)
// An empty compilation: the work arrays created when missing, the counts
// zeroed, no error, the sentinel label quad in place. False (with the
// work-array message) when memory runs out.
bool resetstate();
// Free every work array; the next resetstate creates them again.
void releasestate();

// Make the group's capacity exceed `index` (capacity + capacity / 4 steps),
// keeping contents. On failure: the work-array message, failed flag, false.
bool growslots(uint32_t index);
bool growlabels(uint32_t index);
bool grownames(uint32_t bytes);
bool growlocals(uint32_t index);
bool growlabelnames(uint32_t bytes);

// A new constant pool entry holding v; dummyoperand when memory ran out.
uint32_t addconst(double v);

// Index of the i-th name (zero-terminated) in the name text.
const char *nametext(uint32_t i);
// Label name of label table entry i.
const char *labelnametext(uint32_t i);

// ---------------------------------------------------------------- stages
// A-Z, a-z, 0-9 and "_".
bool isidentchar(char c);
// preprocess.cpp: comments, white space, case, depth, header. `scratch`
// and `origin` hold strlen(text) + 1 entries; origin[i] becomes the source
// offset of scratch[i]. Returns the body start (= scratch), or nullptr after
// compilefail. Sets cs.bodystart and cs.bodyend.
char *preprocess(const char *text, char *scratch, uint32_t *origin);
// parse.cpp: the body into quads; cs.origin maps its bytes to the source.
void parsebody(char *body);
// optimise.cpp: the simplification rounds.
void optimise();
// listing.cpp: text of one operand word.
void operandtext(uint32_t w, char *out, int size);
void dumpquads(const char *title);

// Parsing: the preprocessed body into quads.
//
// Pieces of text are half-open ranges [s, e) of the scratch buffer. Every
// operand gets a new slot k whose value lives in temporary k; the slots of one
// expression form a chain through cs.next, with the operator written before
// slot k in cs.opbefore[k]. The chain is reduced level by level.
//
// Every failure is placed in the text the user wrote: cs.origin maps a byte
// of the body back to its source offset.
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include "state.h"

constexpr uint32_t nolink = 0xFFFFFFFFu;
constexpr int maxstatementdepth = 256;

// The state of one parse, set afresh by parsebody.
struct parsestate {
    const char *body;     // the preprocessed body: byte p lies at cs.origin[p - body]
    int statementdepth;
    // name text to name index and to label table index
    std::unordered_map<std::string, uint32_t> nameindex, labelindex;
};
static parsestate ps;

// The source offset of body byte p (the body's end included).
static int32_t placeof(const char *p)
{
    return (int32_t)cs.origin[p - ps.body];
}

// Just after the byte before p: where a missing ";" was expected.
static int32_t placeafter(const char *p)
{
    return p > ps.body ? placeof(p - 1) + 1 : placeof(p);
}

static bool isdigitchar(char c)
{
    return c >= '0' && c <= '9';
}

static bool isnamestart(char c)
{
    return isidentchar(c) && !isdigitchar(c);
}

// ---------------------------------------------------------------- building blocks

static void emit(uint32_t op, uint32_t dst, uint32_t src1, uint32_t src2)
{
    if (!growslots(cs.quadcount))
        return;
    cs.quads[cs.quadcount++] = {dst, src1, src2, op};
}

static uint32_t newslot()
{
    if (!growslots(cs.slotcount))
        return nolink;
    uint32_t k = cs.slotcount++;
    cs.opbefore[k] = opnul;
    cs.next[k] = nolink;
    return k;
}

static uint32_t newlabel()
{
    if (!growlabels(cs.labelcounter))
        return 0;
    return cs.labelcounter++;
}

// The undefined-name message for the name of `length` characters at p.
static void failname(msgid id, const char *p, size_t length)
{
    char name[errorsize];
    if (length > errorsize - 1)
        length = errorsize - 1;
    memcpy(name, p, length);
    name[length] = 0;
    compilefail(id, placeof(p), name);
}

// End of the run of identifier characters starting at p.
static char *nameend(char *p, char *e)
{
    while (p < e && isidentchar(*p))
        p++;
    return p;
}

// The word at p, not followed by an identifier character.
static bool keyword(const char *p, const char *e, const char *word)
{
    size_t n = strlen(word);
    if ((size_t)(e - p) < n || memcmp(p, word, n) != 0)
        return false;
    return p + n == e || !isidentchar(p[n]);
}

static bool startswith(const char *p, const char *e, const char *text)
{
    size_t n = strlen(text);
    return (size_t)(e - p) >= n && memcmp(p, text, n) == 0;
}

// The bracket closing the one at p, or nullptr.
static char *matching(char *p, char *e, char open, char close)
{
    int depth = 0;
    for (; p < e; p++) {
        if (*p == open)
            depth++;
        else if (*p == close && --depth == 0)
            return p;
    }
    return nullptr;
}

// The first c1 or c2 outside parentheses in [p, e), or nullptr.
static char *findtop(char *p, char *e, char c1, char c2)
{
    int depth = 0;
    for (; p < e; p++) {
        if (*p == '(')
            depth++;
        else if (*p == ')')
            depth--;
        else if (depth == 0 && (*p == c1 || *p == c2))
            return p;
    }
    return nullptr;
}

// Number of comma-separated parts of [s, e); 0 when empty.
static int countparts(char *s, char *e)
{
    if (s == e)
        return 0;
    int n = 1;
    for (char *p = s; (p = findtop(p, e, ',', ',')); p++)
        n++;
    return n;
}

// Index of a parameter or local name, or -1.
static int findname(const char *p, size_t n)
{
    auto found = ps.nameindex.find(std::string(p, n));
    return found == ps.nameindex.end() ? -1 : (int)found->second;
}

static uint32_t variableoperand(int i)
{
    if (i < cs.paramcount)
        return paramoperand((uint32_t)i);
    return tempoperand(cs.localbinding[i]);
}

// Append a local name bound to temporary k.
static void addlocal(const char *p, size_t n, uint32_t k)
{
    if (!grownames(cs.namesused + (uint32_t)n + 1) || !growlocals(cs.namecount))
        return;
    memcpy(cs.names + cs.namesused, p, n);
    cs.names[cs.namesused + n] = 0;
    cs.namesused += (uint32_t)n + 1;
    ps.nameindex.emplace(std::string(p, n), cs.namecount);
    cs.localbinding[cs.namecount++] = k;
}

// The label word for a name; a new name gets the next label number, marked
// as not yet defined unless this is its definition, and is placed where it
// first appears (a label never defined is reported there).
static uint32_t labelfor(const char *p, size_t n, bool define)
{
    auto found = ps.labelindex.find(std::string(p, n));
    if (found != ps.labelindex.end()) {
        uint32_t i = found->second;
        if (define)
            cs.labelentries[i] &= ~labelundefined;
        return labeloperand(cs.labelentries[i] & ~labelundefined);
    }
    uint32_t number = newlabel();
    if (cs.failed || !growlabels(cs.labelcount) || !growlabelnames(cs.labelnamesused + (uint32_t)n + 1))
        return labeloperand(0);
    memcpy(cs.labelnames + cs.labelnamesused, p, n);
    cs.labelnames[cs.labelnamesused + n] = 0;
    cs.labelnamesused += (uint32_t)n + 1;
    ps.labelindex.emplace(std::string(p, n), cs.labelcount);
    cs.labelplaces[cs.labelcount] = (uint32_t)placeof(p);
    cs.labelentries[cs.labelcount++] = number | (define ? 0 : labelundefined);
    return labeloperand(number);
}

static void emitlabel(uint32_t label)
{
    emit(opnul, label, label, label);
}

// ---------------------------------------------------------------- expressions

struct spelling {
    const char *text;
    exprop op;
};

// Two-character operators first.
static const spelling binaryops[] = {
    {"<=", ople}, {">=", opge}, {"==", opeq}, {"!=", opne}, {"&&", opand}, {"||", opor},
    {"^", oppow}, {"*", opmul}, {"/", opdiv}, {"%", opmod}, {"+", opadd}, {"-", opsub},
    {"<", oplt}, {">", opgt},
};

static const spelling functions[] = {
    {"ABS", opabs}, {"SGN", opsgn}, {"UNIT", opunit}, {"FLOOR", opfloor}, {"INT", opfloor},
    {"CEIL", opceil}, {"SIN", opsin}, {"COS", opcos}, {"TAN", optan}, {"ASIN", opasin},
    {"ACOS", opacos}, {"ATAN", opatan}, {"ATN", opatan}, {"SQRT", opsqrt}, {"SQR", opsqrt},
    {"EXP", opexp}, {"FACT", opfact}, {"LOG", oplog}, {"POW", oppow}, {"MIN", opmin},
    {"MAX", opmax}, {"FMOD", opfmod}, {"ATAN2", opatan2},
};

static const spelling *findspelling(const spelling *table, size_t count, const char *p, const char *e,
                                    bool wholename)
{
    for (size_t i = 0; i < count; i++) {
        size_t n = strlen(table[i].text);
        if ((size_t)(e - p) >= n && memcmp(p, table[i].text, n) == 0 &&
            (!wholename || (p + n < e && !isidentchar(p[n]))))
            return &table[i];
    }
    return nullptr;
}

static uint32_t parseexpression(char *s, char *e);

// literal: digits [ "." digits ] [ "E" [sign] digits ]
static uint32_t parseliteral(char *&p, char *e, int sign)
{
    char *q = p;
    int digits = 0;
    for (; q < e && isdigitchar(*q); q++)
        digits++;
    if (q < e && *q == '.')
        for (q++; q < e && isdigitchar(*q); q++)
            digits++;
    if (digits == 0) {
        compilefail(msgundefined, placeof(p));
        return nolink;
    }
    if (q < e && *q == 'E') {
        char *r = q + 1;
        if (r < e && (*r == '+' || *r == '-'))
            r++;
        if (r < e && isdigitchar(*r)) {
            while (r < e && isdigitchar(*r))
                r++;
            q = r;
        }
    }
    char saved = *q;   // q is at most the piece end, inside the buffer
    *q = 0;
    double v = strtod(p, nullptr);
    *q = saved;
    p = q;
    uint32_t k = newslot();
    uint32_t c = addconst(sign * v);
    if (!cs.failed)
        emit(opmov, tempoperand(k), c, dummyoperand);
    return k;
}

// "(" expression ")"
static uint32_t parseparens(char *&p, char *e, int sign)
{
    char *close = matching(p, e, '(', ')');
    if (!close) {
        compilefail(msgnotenough, placeof(p));
        return nolink;
    }
    int parts = countparts(p + 1, close);
    if (parts > 1) {
        compilefail(msgparamcount, placeof(p), optable[opnop].name, parts);
        return nolink;
    }
    uint32_t k = parseexpression(p + 1, close);
    if (!cs.failed && sign < 0)
        emit(opnegmov, tempoperand(k), tempoperand(k), dummyoperand);
    p = close + 1;
    return k;
}

// function "(" argument [ "," argument ] ")"; p is at the "(", name at the function's name
static uint32_t parsecall(char *&p, char *e, const char *name, exprop op, int sign)
{
    char *open = p;
    char *close = matching(open, e, '(', ')');
    if (!close) {
        compilefail(msgnotenough, placeof(open));
        return nolink;
    }
    int count = countparts(open + 1, close);
    exprop used = (op == oplog && count == 2) ? oplogb : op;
    if (count != optable[used].sources) {
        compilefail(msgparamcount, placeof(name), optable[op].name, count);
        return nolink;
    }
    char *comma = count == 2 ? findtop(open + 1, close, ',', ',') : close;
    uint32_t k = parseexpression(open + 1, comma);
    uint32_t second = dummyoperand;
    if (count == 2 && !cs.failed)
        second = tempoperand(parseexpression(comma + 1, close));
    if (cs.failed)
        return nolink;
    emit(used, tempoperand(k), tempoperand(k), second);
    if (sign < 0)
        emit(opnegmov, tempoperand(k), tempoperand(k), dummyoperand);
    p = close + 1;
    return k;
}

// operand: { "+" | "-" } ( literal | PI | RND | NRND | variable | "(" e ")" | call )
static uint32_t parseoperand(char *&p, char *e)
{
    int sign = 1;
    for (; p < e && (*p == '+' || *p == '-'); p++)
        if (*p == '-')
            sign = -sign;
    if (p >= e || !isidentchar(*p)) {
        if (p < e && *p == '(')
            return parseparens(p, e, sign);
        if (p < e && *p == '.')
            return parseliteral(p, e, sign);
        compilefail(msgundefined, placeof(p));
        return nolink;
    }
    if (isdigitchar(*p))
        return parseliteral(p, e, sign);
    char *end = nameend(p, e);
    size_t n = (size_t)(end - p);
    if (keyword(p, e, "PI")) {
        p = end;
        uint32_t k = newslot();
        uint32_t c = addconst(sign * 3.141592653589793);
        if (!cs.failed)
            emit(opmov, tempoperand(k), c, dummyoperand);
        return k;
    }
    if (keyword(p, e, "RND") || keyword(p, e, "NRND")) {
        exprop op = *p == 'R' ? oprnd : opnrnd;
        p = end;
        uint32_t k = newslot();
        emit(op, tempoperand(k), dummyoperand, dummyoperand);
        if (sign < 0)
            emit(opnegmov, tempoperand(k), tempoperand(k), dummyoperand);
        return k;
    }
    if (end < e && *end == '(') {
        for (const spelling &f : functions)
            if (strlen(f.text) == n && memcmp(f.text, p, n) == 0) {
                char *name = p;
                p = end;
                return parsecall(p, e, name, f.op, sign);
            }
    }
    int i = findname(p, n);
    if (i < 0) {
        failname(msgundefined, p, n);
        return nolink;
    }
    p = end;
    uint32_t k = newslot();
    emit(sign < 0 ? opnegmov : opmov, tempoperand(k), variableoperand(i), dummyoperand);
    return k;
}

// Reduce the chain from `first`, tightest level first, left to right.
static void reduce(uint32_t first)
{
    for (int level = 0; level <= 6 && !cs.failed; level++) {
        uint32_t a = first;
        while (cs.next[a] != nolink) {
            uint32_t u = cs.next[a];
            uint32_t op = cs.opbefore[u];
            if (optable[op].level == level) {
                emit(op, tempoperand(a), tempoperand(a), tempoperand(u));
                cs.next[a] = cs.next[u];
            } else {
                a = u;
            }
        }
    }
}

// expression: operand { binary-operator operand }; returns its first slot
static uint32_t parseexpression(char *s, char *e)
{
    uint32_t first = nolink, last = nolink;
    char *p = s;
    uint32_t pending = opnul;
    for (;;) {
        uint32_t k = parseoperand(p, e);
        if (cs.failed)
            return 0;
        if (first == nolink) {
            first = k;
        } else {
            cs.next[last] = k;
            cs.opbefore[k] = pending;
        }
        last = k;
        if (p >= e)
            break;
        const spelling *op = findspelling(binaryops, sizeof binaryops / sizeof *binaryops, p, e, false);
        if (!op) {
            if (*p == ' ')
                p++;
            failname(msgundefined, p, (size_t)(nameend(p, e) - p));
            return 0;
        }
        pending = op->op;
        p += strlen(op->text);
    }
    reduce(first);
    return first;
}

// ---------------------------------------------------------------- statements

static char *parsestatement(char *p, char *e);
static void parsestatements(char *s, char *e);

// IF, WHILE, DO or FOR at p
static bool iscompound(char *p, char *e)
{
    return (keyword(p, e, "IF") && p + 2 < e && p[2] == '(') ||
           (keyword(p, e, "WHILE") && p + 5 < e && p[5] == '(') || keyword(p, e, "DO") ||
           startswith(p, e, "FOR(");
}

// body: "{" statements "}" | IF / WHILE / DO / FOR statement | text up to and including ";"
static char *parsebody(char *p, char *e, msgid missing)
{
    if (p < e && *p == '{') {
        char *close = matching(p, e, '{', '}');
        if (!close) {
            compilefail(missing, placeof(p));
            return e;
        }
        parsestatements(p + 1, close);
        return close + 1;
    }
    if (iscompound(p, e))
        return parsestatement(p, e);
    char *semicolon = findtop(p, e, ';', ';');
    if (!semicolon) {
        compilefail(missing, placeof(p));
        return e;
    }
    parsestatements(p, semicolon + 1);
    return semicolon + 1;
}

// The condition in the parentheses at p after `keyword`: exactly one expression.
static uint32_t parsecondition(char *p, char *e, char **after, msgid commamsg, const char *keyword)
{
    char *close = matching(p, e, '(', ')');
    if (!close) {
        compilefail(msgnotenough, placeof(p));
        return 0;
    }
    if (countparts(p + 1, close) > 1) {
        compilefail(commamsg, placeof(keyword));
        return 0;
    }
    *after = close + 1;
    return tempoperand(parseexpression(p + 1, close));
}

// IF "(" c ")" body [ ELSE body ]
static char *parseif(char *p, char *e)
{
    uint32_t skip = labeloperand(newlabel());
    char *q = e;
    uint32_t c = parsecondition(p, e, &q, msgifparam, p - 2);
    if (cs.failed)
        return e;
    emit(opif0, dummyoperand, c, skip);
    q = parsebody(q, e, msgifstatement);
    if (cs.failed)
        return e;
    if (!keyword(q, e, "ELSE")) {
        emitlabel(skip);
        return q;
    }
    uint32_t end = labeloperand(newlabel());
    emit(opgoto, dummyoperand, dummyoperand, end);
    emitlabel(skip);
    q += 4;
    if (q < e && *q == ' ')
        q++;
    q = parsebody(q, e, msgelsestatement);
    emitlabel(end);
    return q;
}

// WHILE "(" c ")" body
static char *parsewhile(char *p, char *e)
{
    uint32_t top = labeloperand(newlabel());
    uint32_t end = labeloperand(newlabel());
    emitlabel(top);
    char *q = e;
    uint32_t c = parsecondition(p, e, &q, msgwhileparam, p - 5);
    if (cs.failed)
        return e;
    emit(opif0, dummyoperand, c, end);
    q = parsebody(q, e, msgloopstatement);
    emit(opgoto, top, top, top);
    emitlabel(end);
    return q;
}

// DO body WHILE "(" c ")" ";"
static char *parsedo(char *p, char *e)
{
    if (p < e && *p == ' ')
        p++;
    uint32_t top = labeloperand(newlabel());
    emitlabel(top);
    char *q = parsebody(p, e, msgdostatement);
    if (cs.failed)
        return e;
    if (!keyword(q, e, "WHILE") || q + 5 >= e || q[5] != '(') {
        compilefail(msgdowhile, placeof(q));
        return e;
    }
    uint32_t c = parsecondition(q + 5, e, &q, msgdoparam, q);
    if (cs.failed)
        return e;
    emit(opif1, dummyoperand, c, top);
    if (q >= e || *q != ';') {
        compilefail(msgwhilesemicolon, placeafter(q));
        return e;
    }
    return q + 1;
}

// FOR "(" init ";" c ";" step ")" body
static char *parsefor(char *p, char *e)
{
    char *close = matching(p, e, '(', ')');
    if (!close) {
        compilefail(msgnotenough, placeof(p));
        return e;
    }
    char *first = findtop(p + 1, close, ';', ';');
    char *second = first ? findtop(first + 1, close, ';', ';') : nullptr;
    if (!second || countparts(first + 1, second) > 1) {
        compilefail(msgforfields, placeof(p - 3));
        return e;
    }
    parsestatements(p + 1, first + 1);
    uint32_t top = labeloperand(newlabel());
    uint32_t end = labeloperand(newlabel());
    emitlabel(top);
    if (cs.failed)
        return e;
    uint32_t c = tempoperand(parseexpression(first + 1, second));
    if (cs.failed)
        return e;
    emit(opif0, dummyoperand, c, end);
    char *q = parsebody(close + 1, e, msgloopstatement);
    if (cs.failed)
        return e;
    *close = ';';   // the step is a statement list ending at the ")"
    parsestatements(second + 1, close + 1);
    *close = ')';
    emit(opgoto, top, top, top);
    emitlabel(end);
    return q;
}

// GOTO " " name
static char *parsegoto(char *p, char *e)
{
    char *name = p + 5;
    bool blank = p + 4 < e && p[4] == ' ';
    char *end = blank ? nameend(name, e) : name;
    if (!blank || end == name) {
        compilefail(msggotolabel, placeof(blank ? name : p + 4));
        return e;
    }
    uint32_t label = labelfor(name, (size_t)(end - name), false);
    emit(opgoto, label, label, label);
    return end;
}

struct assignspelling {
    const char *text;
    exprop op;
    bool step;   // ++ and --
};

static const assignspelling assignops[] = {
    {"++", opadd, true}, {"--", opsub, true}, {"+=", opadd, false}, {"-=", opsub, false},
    {"*=", opmul, false}, {"/=", opdiv, false}, {"%=", opmod, false}, {"=", opmov, false},
};

static const assignspelling *findassign(const char *p, const char *e)
{
    if (startswith(p, e, "=="))
        return nullptr;
    for (const assignspelling &a : assignops)
        if (startswith(p, e, a.text))
            return &a;
    return nullptr;
}

// v = e | v op= e | v++ | v--, up to its "," or ";"
static char *parseassign(uint32_t v, const assignspelling *a, char *p, char *e)
{
    char *term = findtop(p, e, ';', ',');
    if (!term) {
        compilefail(msgmissingsemicolon, placeafter(e));
        return e;
    }
    if (a->step) {
        if (p < term)
            parseexpression(p, term);   // read and not used
        uint32_t one = addconst(1.0);
        if (!cs.failed)
            emit(a->op, v, v, one);
        return term + 1;
    }
    if (p == term) {
        compilefail(msgblankexpr, placeof(p));
        return e;
    }
    uint32_t t = tempoperand(parseexpression(p, term));
    if (cs.failed)
        return e;
    if (a->op == opmov)
        emit(opmov, v, t, dummyoperand);
    else
        emit(a->op, v, v, t);
    return term + 1;
}

// new name = e: the value's first slot becomes the local's temporary
static char *parsenewlocal(char *name, size_t n, char *p, char *e)
{
    char *term = findtop(p, e, ';', ',');
    if (!term) {
        compilefail(msgmissingsemicolon, placeafter(e));
        return e;
    }
    if (p == term) {
        compilefail(msgblankexpr, placeof(p));
        return e;
    }
    uint32_t k = parseexpression(p, term);
    if (!cs.failed)
        addlocal(name, n, k);
    return term + 1;
}

// assignment | new local | label definition | bare expression
static char *parsesimple(char *p, char *e)
{
    if (*p == ':') {
        compilefail(msgcolonlabel, placeof(p));
        return e;
    }
    if (isnamestart(*p)) {
        char *end = nameend(p, e);
        size_t n = (size_t)(end - p);
        int i = findname(p, n);
        if (i >= 0) {
            const assignspelling *a = findassign(end, e);
            if (a)
                return parseassign(variableoperand(i), a, end + strlen(a->text), e);
        } else if (end < e && *end == '=' && !startswith(end, e, "==")) {
            return parsenewlocal(p, n, end + 1, e);
        } else if (end < e && *end == ':') {
            emitlabel(labelfor(p, n, true));
            return end + 1;
        }
    }
    char *end = findtop(p, e, ';', ',');
    if (!end)
        end = e;
    parseexpression(p, end);
    return end;
}

static char *parsestatement(char *p, char *e)
{
    if (++ps.statementdepth > maxstatementdepth) {
        compilefail(msgtoodeep, placeof(p));
        return e;
    }
    char *r;
    if (keyword(p, e, "IF") && p + 2 < e && p[2] == '(')
        r = parseif(p + 2, e);
    else if (keyword(p, e, "WHILE") && p + 5 < e && p[5] == '(')
        r = parsewhile(p + 5, e);
    else if (keyword(p, e, "DO"))
        r = parsedo(p + 2, e);
    else if (startswith(p, e, "FOR("))
        r = parsefor(p + 3, e);
    else if (keyword(p, e, "GOTO"))
        r = parsegoto(p, e);
    else
        r = parsesimple(p, e);
    ps.statementdepth--;
    return r;
}

// statements: { ";" | "," | statement }
static void parsestatements(char *s, char *e)
{
    char *p = s;
    while (!cs.failed) {
        while (p < e && (*p == ';' || *p == ','))
            p++;
        if (p >= e)
            return;
        p = parsestatement(p, e);
    }
}

void parsebody(char *body)
{
    ps.body = body;
    ps.statementdepth = 0;
    ps.nameindex.clear();
    ps.labelindex.clear();
    const char *t = cs.names;
    for (uint32_t i = 0; i < cs.namecount; i++, t += strlen(t) + 1)
        ps.nameindex.emplace(t, i);
    parsestatements(body, body + strlen(body));
}

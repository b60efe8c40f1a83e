// The op table, the messages of both dialects, the error text and its place.
#include <cstdio>
#include <cstring>
#include "state.h"

const opinfo optable[opcount] = {
#define EXPROPINFO(code, id, name, format, sources, level, traits) {name, format, sources, level, traits},
    EXPROPS(EXPROPINFO)
#undef EXPROPINFO
};

struct messagerow {
    msgid id;
    const char *pelmora;
    const char *vrastik;
};

static const messagerow messages[msgcount] = {
    {msgworkmalloc, "ERROR: malloc failed", "ERROR: INTERNAL MALLOC FAILED"},
    {msgcodemalloc, "ERROR: malloc failed", "ERROR: COMPCODE MALLOC FAILED"},
    {msgnofunction, "ERROR: no function defined", "ERROR: no function defined"},
    {msgblankparam, "ERROR: blank param", "ERROR: Can't have blank paramaeter"},
    {msgbadchar, "ERROR: '%c' bad char for variable name", "ERROR: '%c' Invalid char for variable name"},
    {msgtoomany, "ERROR: too many )", "ERROR: Too many ')'"},
    {msgnotenough, "ERROR: not enough )", "ERROR: Not enough ')'"},
    {msgnested, "ERROR: () nested > 16", "ERROR: () Nested > 16"},
    {msglabelnotfound, "ERROR: label %s not found", "ERROR: label %s not found"},
    {msgnoreturn, "ERROR: missing return value", "ERROR: NO RETURN VALUE AT END"},
    {msgparamcount, "ERROR: %s doesn't take %d param%p", "ERROR: function has wrong # of parameters"},
    {msgforfields, "ERROR: FOR needs 3 fields", "ERROR: FOR has wrong # of parameters"},
    {msgdostatement, "ERROR: DO missing statement", "ERROR: DO without statement"},
    {msgdowhile, "ERROR: DO needs WHILE", "ERROR: DO without WHILE"},
    {msgdoparam, "ERROR: DO takes 1 param", "ERROR: DO has wrong # of parameters"},
    {msgwhilesemicolon, "ERROR: missing ; after WHILE", "ERROR: missing ; after WHILE"},
    {msgloopstatement, "ERROR: DO needs statement", "ERROR: DO without statement"},
    {msggotolabel, "ERROR: GOTO needs label", "ERROR: GOTO must have label"},
    {msgifparam, "ERROR: IF takes 1 param", "ERROR: IF has wrong # of parameters"},
    {msgifstatement, "ERROR: IF needs statement", "ERROR: IF without statement"},
    {msgelsestatement, "ERROR: ELSE needs statement", "ERROR: ELSE without statement"},
    {msgwhileparam, "ERROR: WHILE takes 1 param", "ERROR: WHILE has wrong # of parameters"},
    {msgmissingsemicolon, "ERROR: missing ;", "ERROR: Missing ;"},
    {msgblankexpr, "ERROR: blank function", "ERROR: Blank expression not allowed"},
    {msgcolonlabel, "ERROR: : needs label", "ERROR: ':' found without label"},
    {msgundefined, "ERROR: %s undefined", "ERROR: %s undefined"},
    {msgtoodeep, "ERROR: statements nested > 256", "ERROR: Statements Nested > 256"},
    {msgtoolong, "ERROR: expression too long", "ERROR: Expression too long"},
};

const char *messageformat(exprdialect d, msgid id)
{
    if (id < 0 || id >= msgcount)
        return "ERROR";
    return d == dialectvrastik ? messages[id].vrastik : messages[id].pelmora;
}

// Expand one format; the name gets at most `namemax` characters. Returns the
// full length the text would have (the output is always cut to fit).
static int expand(const char *format, const char *name, int namemax, int number, char *out)
{
    int n = 0;
    auto put = [&](char c) {
        if (n < errorsize - 1)
            out[n] = c;
        n++;
    };
    for (const char *f = format; *f; f++) {
        if (f[0] != '%' || f[1] == 0) {
            put(*f);
            continue;
        }
        f++;
        char buf[16];
        if (*f == 's') {
            for (int i = 0; i < namemax && name[i]; i++)
                put(name[i]);
        } else if (*f == 'c') {
            put((char)number);
        } else if (*f == 'd') {
            snprintf(buf, sizeof buf, "%d", number);
            for (char *b = buf; *b; b++)
                put(*b);
        } else if (*f == 'p') {
            if (number != 1)
                put('s');
        } else {
            put(*f);
        }
    }
    out[n < errorsize ? n : errorsize - 1] = 0;
    return n;
}

void compilefail(msgid id, int32_t place, const char *name, int number)
{
    if (cs.failed)
        return;
    cs.failed = true;
    cs.errorplace = place;
    if (!name)
        name = "";
    const char *format = messageformat(cs.dialect, id);
    int fixed = expand(format, "", 0, number, cs.error);
    int room = errorsize - 1 - fixed;
    expand(format, name, room > 0 ? room : 0, number, cs.error);
}

const char *compileerror()
{
    return cs.error;
}

int compileerrorat()
{
    return cs.failed ? cs.errorplace : noplace;
}

exprplace exprplaceof(const char *text, int offset)
{
    int length = (int)strnlen(text, (size_t)(offset > 0 ? offset : 0));
    offset = offset < 0 ? 0 : length;   // held to the text
    exprplace p{1, 1, 0, 0};
    for (int i = 0; i < offset; i++)
        if (text[i] == '\n') {
            p.line++;
            p.start = i + 1;
        }
    p.column = offset - p.start + 1;
    const char *end = strchr(text + p.start, '\n');
    p.length = end ? (int)(end - text) - p.start : (int)strlen(text + p.start);
    if (end && p.length > 0 && end[-1] == '\r')
        p.length--;   // a CR before the LF belongs to the line break
    return p;
}

void setexprdialect(exprdialect d)
{
    cs.dialect = d;
}

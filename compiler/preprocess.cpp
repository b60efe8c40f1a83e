// Preprocessing: comments, white space, case, parenthesis depth and the header;
// beside every byte kept, its place in the text as written.
#include <cstring>
#include "state.h"

constexpr int maxnesting = 16;

bool isidentchar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

static bool isblankchar(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// One header name: identifier characters only, not empty. places[i] is
// the source offset of name[i]; a blank name is placed at the "," or ")"
// that ends it.
static bool addparam(const char *name, uint32_t length, const uint32_t *places)
{
    if (length == 0) {
        compilefail(msgblankparam, (int32_t)places[0]);
        return false;
    }
    for (uint32_t i = 0; i < length; i++)
        if (!isidentchar(name[i])) {
            compilefail(msgbadchar, (int32_t)places[i], "", (unsigned char)name[i]);
            return false;
        }
    if (!grownames(cs.namesused + length + 1) || !growlocals(cs.namecount))
        return false;
    memcpy(cs.names + cs.namesused, name, length);
    cs.names[cs.namesused + length] = 0;
    cs.localbinding[cs.namecount] = 0;
    cs.namesused += length + 1;
    cs.namecount++;
    return true;
}

// Split the copied header text at "," into parameter names. An empty header
// declares no parameters. places[length] is the place of the closing ")".
static bool splitheader(const char *header, uint32_t length, const uint32_t *places)
{
    if (length > 0) {
        uint32_t start = 0;
        for (uint32_t i = 0; i <= length; i++)
            if (i == length || header[i] == ',') {
                if (!addparam(header + start, i - start, places + start))
                    return false;
                start = i + 1;
            }
    }
    cs.paramcount = (int32_t)cs.namecount;
    return true;
}

// Where a comment starting at s ends (just after it; the text end if open).
static const char *skipcomment(const char *s)
{
    if (s[1] == '/') {
        s += 2;
        while (*s && *s != '\r' && *s != '\n')
            s++;
        return s;
    }
    const char *end = strstr(s + 2, "*/");
    return end ? end + 2 : s + strlen(s);
}

// What the scan of the text found about its parentheses, by source offset.
struct depthscan {
    int depth, deepest;
    uint32_t outermost;   // the last "(" that opened depth 1
    uint32_t toodeep;     // the first "(" deeper than maxnesting
    bool toomany;         // a ")" closed more than was open: the scan stopped there
    uint32_t stop;        // where the scan stopped (that ")", or the text's end)
};

// The first failure of the scan: no body, then the depth checks in order.
static void checkscan(const char *body, const depthscan &d)
{
    if (!body || !*body)
        compilefail(msgnofunction, (int32_t)d.stop);
    else if (d.toomany)
        compilefail(msgtoomany, (int32_t)d.stop);
    else if (d.depth > 0)
        compilefail(msgnotenough, (int32_t)d.outermost);
    else if (d.deepest > maxnesting)
        compilefail(msgnested, (int32_t)d.toodeep);
}

char *preprocess(const char *text, char *scratch, uint32_t *origin)
{
    uint32_t n = 0;            // bytes of the current part (header, then body) in scratch and origin
    char *body = nullptr;
    bool mark = false;
    uint32_t markplace = 0;    // where the blanks or comments before the next byte began
    depthscan d{};
    const char *s = text;
    cs.paramcount = -1;   // -1 before the header, -2 inside it
    while (*s) {
        uint32_t here = (uint32_t)(s - text);
        if (s[0] == '/' && (s[1] == '/' || s[1] == '*')) {
            s = skipcomment(s);
            markplace = mark ? markplace : here;
            mark = true;
            continue;
        }
        char c = *s++;
        if (isblankchar(c)) {
            markplace = mark ? markplace : here;
            mark = true;
            continue;
        }
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
        if (c == '(') {
            d.depth++;
            d.outermost = d.depth == 1 ? here : d.outermost;
            if (d.depth > d.deepest) {
                d.deepest = d.depth;
                d.toodeep = d.deepest == maxnesting + 1 ? here : d.toodeep;
            }
            if (cs.paramcount == -1) {
                // the header starts: text before it is ignored
                n = 0;
                mark = false;
                cs.paramcount = -2;   // inside the header
                continue;
            }
        } else if (c == ')') {
            d.depth--;
            if (d.depth < 0) {
                d.toomany = true;
                s--;
                break;
            }
            if (cs.paramcount == -2) {
                origin[n] = here;
                if (!splitheader(scratch, n, origin))
                    return nullptr;
                n = 0;
                body = scratch;
                mark = false;
                continue;
            }
        }
        if (mark && n > 0 && isidentchar(c) && isidentchar(scratch[n - 1])) {
            origin[n] = markplace;   // the blank that parts two names
            scratch[n++] = ' ';
        }
        mark = false;
        origin[n] = here;
        scratch[n++] = c;
    }
    scratch[n] = 0;
    uint32_t end = n > 0 ? origin[n - 1] + 1 : 0;   // just after the last byte written
    origin[n] = end;
    d.stop = (uint32_t)(s - text);
    checkscan(body, d);
    if (cs.failed)
        return nullptr;
    cs.bodystart = (int32_t)origin[0];
    cs.bodyend = (int32_t)end;
    return body;
}

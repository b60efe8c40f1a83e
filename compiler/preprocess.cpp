// Preprocessing: comments, white space, case, parenthesis depth and the header.
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

// One header name: identifier characters only, not empty.
static bool addparam(const char *name, uint32_t length)
{
    if (length == 0) {
        compilefail(msgblankparam);
        return false;
    }
    for (uint32_t i = 0; i < length; i++)
        if (!isidentchar(name[i])) {
            compilefail(msgbadchar, "", (unsigned char)name[i]);
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
// declares no parameters.
static bool splitheader(const char *header, uint32_t length)
{
    if (length > 0) {
        uint32_t start = 0;
        for (uint32_t i = 0; i <= length; i++)
            if (i == length || header[i] == ',') {
                if (!addparam(header + start, i - start))
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

char *preprocess(const char *text, char *scratch)
{
    char *out = scratch;       // next byte to write
    char *part = scratch;      // start of the current part (header or body)
    char *body = nullptr;
    bool mark = false;
    int depth = 0, deepest = 0;
    bool toomany = false;
    cs.paramcount = -1;   // -1 before the header, -2 inside it
    for (const char *s = text; *s;) {
        if (s[0] == '/' && (s[1] == '/' || s[1] == '*')) {
            s = skipcomment(s);
            mark = true;
            continue;
        }
        char c = *s++;
        if (isblankchar(c)) {
            mark = true;
            continue;
        }
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
        if (c == '(') {
            depth++;
            if (depth > deepest)
                deepest = depth;
            if (cs.paramcount == -1) {
                // the header starts: text before it is ignored
                out = part = scratch;
                mark = false;
                cs.paramcount = -2;   // inside the header
                continue;
            }
        } else if (c == ')') {
            depth--;
            if (depth < 0) {
                toomany = true;
                break;
            }
            if (cs.paramcount == -2) {
                if (!splitheader(part, (uint32_t)(out - part)))
                    return nullptr;
                out = part = body = scratch;
                mark = false;
                continue;
            }
        }
        if (mark && out > part && isidentchar(c) && isidentchar(out[-1]))
            *out++ = ' ';
        mark = false;
        *out++ = c;
    }
    *out = 0;
    if (!body || !*body) {
        compilefail(msgnofunction);
        return nullptr;
    }
    if (toomany)
        compilefail(msgtoomany);
    else if (depth > 0)
        compilefail(msgnotenough);
    else if (deepest > maxnesting)
        compilefail(msgnested);
    return cs.failed ? nullptr : body;
}

#include "texsource.h"
#include "pointset.h"
#include "safefile.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Each key: its name, how many numbers it takes and where they go.
struct sourcekey {
    const char *name;
    int count;
    float *(*field)(texturescript &s);
};

static const sourcekey sourcekeys[] = {
    {"red", 4, [](texturescript &s) { return s.weights[0]; }},
    {"green", 4, [](texturescript &s) { return s.weights[1]; }},
    {"blue", 4, [](texturescript &s) { return s.weights[2]; }},
    {"groupscale", 4, [](texturescript &s) { return s.weights[3]; }},
    {"shape", 1, [](texturescript &s) { return &s.shape; }},
    {"light", 1, [](texturescript &s) { return &s.lightangle; }},
    {"scale", 1, [](texturescript &s) { return &s.scale; }},
    {"solidweight", 1, [](texturescript &s) { return &s.solidweight; }},
};
constexpr int sourcekeycount = sizeof sourcekeys / sizeof sourcekeys[0];
constexpr int solidweightkey = 7;

struct sourceparse {
    const char *at;         // start of the current line
    int line;
    bool seen[sourcekeycount];
    char *err;
    int errsize;
};

static int fail(sourceparse &p, const char *format, ...)
{
    int n = std::snprintf(p.err, size_t(p.errsize), "line %d: ", p.line);
    if (n < 0 || n >= p.errsize)
        return 0;
    va_list va;
    va_start(va, format);
    std::vsnprintf(p.err + n, size_t(p.errsize - n), format, va);
    va_end(va);
    return 0;
}

static const char *skipblanks(const char *s, const char *end)
{
    while (s < end && (*s == ' ' || *s == '\t' || *s == '\r'))
        s++;
    return s;
}

// Numbers of one key: exactly count finite floats and nothing else.
static int parsenumbers(sourceparse &p, const char *s, const char *end, float *out, int count)
{
    char buffer[256];
    int length = int(end - s);
    if (length >= int(sizeof buffer))
        return fail(p, "line too long");
    std::memcpy(buffer, s, size_t(length));
    buffer[length] = 0;
    char *c = buffer;
    for (int i = 0; i < count; i++) {
        char *next;
        errno = 0;
        float v = std::strtof(c, &next);
        if (next == c || !std::isfinite(v) || errno == ERANGE)
            return fail(p, "expected %d number%s", count, count == 1 ? "" : "s");
        out[i] = v;
        c = next;
    }
    if (*skipblanks(c, buffer + length))
        return fail(p, "expected %d number%s", count, count == 1 ? "" : "s");
    return 1;
}

static int parsekeyline(sourceparse &p, const char *s, const char *end, texturescript &script)
{
    const char *name = s;
    while (s < end && (std::isalnum((unsigned char)*s) || *s == '_'))
        s++;
    int namelength = int(s - name);
    s = skipblanks(s, end);
    if (s == end || *s != '=')
        return fail(p, "expected \"key = value\" or \"expression:\"");
    for (int k = 0; k < sourcekeycount; k++) {
        const sourcekey &key = sourcekeys[k];
        if (int(std::strlen(key.name)) != namelength || std::strncmp(key.name, name, size_t(namelength)))
            continue;
        if (p.seen[k])
            return fail(p, "\"%s\" given twice", key.name);
        p.seen[k] = true;
        return parsenumbers(p, s + 1, end, key.field(script), key.count);
    }
    return fail(p, "unknown key \"%.*s\"", namelength, name);
}

// The body: the rest of the source with line ends made line feeds and
// trailing empty lines dropped.
static int parsebody(sourceparse &p, const char *s, texturescript &script)
{
    char *text = script.text;
    std::memcpy(text, exprheader, exprheaderlength);
    int n = exprheaderlength;
    for (; *s; s++) {
        if (*s == '\r' && s[1] == '\n')
            continue;
        if (n >= exprtextsize - 1)
            return fail(p, "expression longer than %d bytes", exprtextsize - 1 - exprheaderlength);
        text[n++] = *s;
    }
    while (n > exprheaderlength && (text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '\t'))
        n--;
    text[n] = 0;
    if (n == exprheaderlength)
        return fail(p, "empty expression");
    return 1;
}

int parsetexsource(const char *source, texturescript &s, char *err, int errsize)
{
    static texturescript work;
    defaultscript(work);
    sourceparse p = {source, 1, {}, err, errsize};
    while (*p.at) {
        const char *end = std::strchr(p.at, '\n');
        if (!end)
            end = p.at + std::strlen(p.at);
        const char *s0 = skipblanks(p.at, end);
        const char *next = *end ? end + 1 : end;
        if (s0 < end && *s0 != '#') {
            const char *e = end;
            while (e > s0 && (e[-1] == ' ' || e[-1] == '\t' || e[-1] == '\r'))
                e--;
            if (e - s0 == 11 && std::strncmp(s0, "expression:", 11) == 0) {
                p.line++;
                if (!parsebody(p, next, work))
                    return 0;
                break;
            }
            if (!parsekeyline(p, s0, e, work))
                return 0;
        }
        p.at = next;
        p.line++;
    }
    if (!p.seen[solidweightkey])
        work.solidweight = solidweightof(work.shape);
    derivechannels(work);
    s = work;
    return 1;
}

int readtexsource(const char *path, texturescript &s, char *err, int errsize)
{
    static char source[65536];
    char why[200];
    FILE *f = fopenregular(path, why, sizeof why);
    if (!f) {
        std::snprintf(err, size_t(errsize), "cannot open %s: %s", path, why);
        return 0;
    }
    size_t n = std::fread(source, 1, sizeof source, f);
    bool toolong = n == sizeof source;
    bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad || toolong) {
        std::snprintf(err, size_t(errsize), bad ? "cannot read %s" : "%s is too long", path);
        return 0;
    }
    if (std::memchr(source, 0, n)) {
        std::snprintf(err, size_t(errsize), "%s holds a NUL byte", path);
        return 0;
    }
    source[n] = 0;
    return parsetexsource(source, s, err, errsize);
}

// txtool eval and txtool list: compile an expression text, then call it or
// print its listing. A compile error is printed as the compiler words it,
// then where it lies, as compilers show it:
//   ERROR: Y undefined
//     at line 2, column 5:
//     x + y
//         ^
#include "commands.h"
#include "compiler.h"
#include "safefile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr long maxtextfile = 1 << 20;
constexpr int shownwidth = 160;    // a longer line is shown around the column, cut at "..."

struct evaloptions {
    exprdialect dialect = dialectpelmora;
    exprflavour flavour = nativeflavour;
    const char *text = nullptr;      // TEXT-OR-@FILE
    std::vector<const char *> args;
};

// "\n" and "\t" escapes, "\\" for a backslash; anything else stays as written.
std::string unescape(const char *s)
{
    std::string out;
    for (; *s; s++) {
        if (s[0] == '\\' && (s[1] == 'n' || s[1] == 't' || s[1] == '\\')) {
            out += s[1] == 'n' ? '\n' : s[1] == 't' ? '\t' : '\\';
            s++;
        } else {
            out += *s;
        }
    }
    return out;
}

bool readtextfile(const char *path, std::string &out)
{
    char why[200];
    FILE *f = fopenregular(path, why, sizeof why);
    if (!f) {
        std::fprintf(stderr, "txtool: cannot open '%s': %s\n", path, why);
        return false;
    }
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && (long)out.size() <= maxtextfile)
        out.append(chunk, n);
    bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad || (long)out.size() > maxtextfile) {
        std::fprintf(stderr, "txtool: cannot read '%s' (read error or larger than %ld bytes)\n", path, maxtextfile);
        return false;
    }
    if (out.find('\0') != std::string::npos) {
        std::fprintf(stderr, "txtool: '%s' contains a zero byte\n", path);
        return false;
    }
    return true;
}

bool loadtext(const char *arg, std::string &out)
{
    if (arg[0] == '@')
        return readtextfile(arg + 1, out);
    out = unescape(arg);
    return true;
}

bool parseoptions(const char *cmd, int argc, char **argv, bool flavours, evaloptions &o)
{
    int i = 0;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
        const char *value = i + 1 < argc ? argv[i + 1] : "";
        if (std::strcmp(argv[i], "--dialect") == 0 && std::strcmp(value, "pelmora") == 0)
            o.dialect = dialectpelmora;
        else if (std::strcmp(argv[i], "--dialect") == 0 && std::strcmp(value, "vrastik") == 0)
            o.dialect = dialectvrastik;
        else if (flavours && std::strcmp(argv[i], "--flavour") == 0 && std::strcmp(value, "ia32") == 0)
            o.flavour = flavouria32;
        else if (flavours && std::strcmp(argv[i], "--flavour") == 0 && std::strcmp(value, "x64") == 0)
            o.flavour = flavourx64;
        else {
            std::fprintf(stderr, "txtool %s: bad option '%s %s'\n", cmd, argv[i], value);
            return false;
        }
    }
    if (i >= argc) {
        std::fprintf(stderr, "txtool %s: no expression text given\n", cmd);
        return false;
    }
    o.text = argv[i++];
    for (; i < argc; i++)
        o.args.push_back(argv[i]);
    return true;
}

// The line of the place with a caret under its column. Control bytes show
// as "?"; the caret line repeats the line's tabs, and skips the bytes that
// continue a UTF-8 character, so that a terminal puts the caret under the byte.
void printcaret(const char *text, const exprplace &p)
{
    int from = 0, to = p.length;
    if (p.length > shownwidth) {
        from = std::clamp(p.column - 1 - shownwidth / 2, 0, p.length - shownwidth);
        to = from + shownwidth;
    }
    const unsigned char *line = (const unsigned char *)text + p.start;
    std::string shown = from > 0 ? "  ..." : "  ", caret = from > 0 ? "     " : "  ";
    for (int i = from; i < to; i++)
        shown += line[i] == '\t' || (line[i] >= ' ' && line[i] != 0x7F) ? (char)line[i] : '?';
    for (int i = from; i < p.column - 1; i++)
        if ((line[i] & 0xC0) != 0x80)
            caret += line[i] == '\t' ? '\t' : ' ';
    std::printf("%s%s\n%s^\n", shown.c_str(), to < p.length ? "..." : "", caret.c_str());
}

// The compiler's message, then (when it lies in the text) its place.
void printfailure(const char *text)
{
    std::printf("%s\n", compileerror());
    if (compileerrorat() < 0)
        return;
    exprplace p = exprplaceof(text, compileerrorat());
    std::printf("  at line %d, column %d:\n", p.line, p.column);
    printcaret(text, p);
}

bool parsenumber(const char *s, double &v)
{
    char *end = nullptr;
    errno = 0;
    v = std::strtod(s, &end);
    return end != s && *end == 0 && errno != ERANGE;
}

} // namespace

int txeval(int argc, char **argv)
{
    evaloptions o;
    std::string text;
    if (!parseoptions("eval", argc, argv, false, o) || !loadtext(o.text, text))
        return 2;
    std::vector<double> args;
    for (const char *a : o.args) {
        double v;
        if (!parsenumber(a, v)) {
            std::fprintf(stderr, "txtool eval: '%s' is not a number\n", a);
            return 2;
        }
        args.push_back(v);
    }
    setexprdialect(o.dialect);
    exprfunc f = compileexpr(text.c_str());
    if (!f) {
        printfailure(text.c_str());
        return 1;
    }
    if ((int)args.size() != exprparamcount()) {
        std::fprintf(stderr, "txtool eval: the header declares %d parameter%s, %d argument%s given\n",
                     exprparamcount(), exprparamcount() == 1 ? "" : "s", (int)args.size(), args.size() == 1 ? "" : "s");
        return 2;
    }
    std::printf("%.17g\n", exprcall(f, args.data(), (int)args.size()));
    return 0;
}

int txlist(int argc, char **argv)
{
    evaloptions o;
    std::string text;
    if (!parseoptions("list", argc, argv, true, o) || !loadtext(o.text, text))
        return 2;
    if (!o.args.empty()) {
        std::fprintf(stderr, "txtool list: unexpected argument '%s'\n", o.args[0]);
        return 2;
    }
    setexprdialect(o.dialect);
    setexprflavour(o.flavour);
    exprfunc f = compileexpr(text.c_str());
    setexprflavour(nativeflavour);
    if (!f) {
        printfailure(text.c_str());
        return 1;
    }
    const char *listing = exprlist(3);
    std::fputs(listing, stdout);
    size_t n = std::strlen(listing);
    if (n == 0 || listing[n - 1] != '\n')
        std::fputc('\n', stdout);          // the listing was cut at its buffer size
    return 0;
}

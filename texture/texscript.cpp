#include "texscript.h"
#include "byteorder.h"
#include "pointset.h"
#include "safefile.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

const char exprheader[] = "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n";
const char defaultbody[] = "(d1*c1 + d2*c2 + d3/(abs(sin(d3*.1))+1)*c3 + (c4+fn+1)*16)*sc";
static const char magic[] = "TxQv";

texscriptstate texscripts;

static const float defaultweights[4][4] = {
    {2.2f, 1.7f, 3.0f, 2.0f},
    {2.0f, 1.8f, 2.2f, 2.0f},
    {4.0f, 2.7f, 2.5f, 2.0f},
    {-3.0f, 2.0f, 2.0f, 2.0f},
};

void derivechannels(texturescript &s)
{
    for (int ch = 0; ch < 3; ch++)
        for (int g = 0; g < 4; g++)
            s.channel[ch][g] = s.weights[ch][g] * s.weights[3][g];
}

void defaultscript(texturescript &s)
{
    std::memcpy(s.weights, defaultweights, sizeof s.weights);
    derivechannels(s);
    s.scale = 1.0f;
    s.shape = -1.0f;
    s.solidweight = 2.0f;
    s.lightangle = 0.0f;
    std::snprintf(s.text, sizeof s.text, "%s%s", exprheader, defaultbody);
}

void makedefaults()
{
    texturescript &s = texscripts.script;
    defaultscript(s);
    makepointset(s.solidweight);
    exprfree(texscripts.func);
    texscripts.func = compileexpr(s.text);
}

// ---- writing ----------------------------------------------------------------

constexpr int fixedfilesize = 164;      // magic and every section but the text bytes

struct filebuffer {
    unsigned char bytes[fixedfilesize + exprtextsize];
    int length;
};

static void putbytes(filebuffer &b, const void *p, int n)
{
    std::memcpy(b.bytes + b.length, p, size_t(n));
    b.length += n;
}

static void putu32(filebuffer &b, uint32_t v)
{
    putle32(b.bytes + b.length, v);
    b.length += 4;
}

static void putfloats(filebuffer &b, const float *v, int count)
{
    for (int i = 0; i < count; i++) {
        putlefloat(b.bytes + b.length, v[i]);
        b.length += 4;
    }
}

static void putsection(filebuffer &b, const char *tag, const float *v, int count)
{
    putbytes(b, tag, 4);
    putfloats(b, v, count);
}

static void assemble(const texturescript &s, filebuffer &b)
{
    b.length = 0;
    putbytes(b, magic, 4);
    putsection(b, "Wgt:", &s.weights[0][0], 16);
    putsection(b, "Air:", &s.shape, 1);
    putsection(b, "Lta:", &s.lightangle, 1);
    putsection(b, "Wgt2", &s.channel[0][0], 12);
    putsection(b, "Scal", &s.scale, 1);
    putsection(b, "w6ol", &s.solidweight, 1);
    // The text always goes out with its NUL, even if the record lost it.
    int n = int(strnlen(s.text, exprtextsize - 1)) + 1;
    putbytes(b, "Eqat", 4);
    putu32(b, uint32_t(n));
    putbytes(b, s.text, n - 1);
    putbytes(b, "", 1);
}

int savescript(const texturescript &s, const char *path)
{
    filebuffer b;
    assemble(s, b);
    char why[texwhysize];
    if (safereplace(path, b.bytes, size_t(b.length), why, sizeof why))
        return 1;
    std::snprintf(texscripts.why, sizeof texscripts.why, "%s", why);
    return 0;
}

int savetexture(const char *path)
{
    return savescript(texscripts.script, path);
}

// ---- reading ----------------------------------------------------------------

// A section of floats: its tag, its size and where the values go.
struct floatsection {
    char tag[5];
    int count;
    float *dest;
};

static bool readtag(FILE *f, char tag[4])
{
    return std::fread(tag, 1, 4, f) == 4;
}

static bool readmagic(FILE *f)
{
    char tag[4];
    return readtag(f, tag) && std::memcmp(tag, magic, 4) == 0;
}

static bool readu32(FILE *f, uint32_t &v)
{
    uint8_t le[4];
    if (std::fread(le, 1, 4, f) != 4)
        return false;
    v = getle32(le);
    return true;
}

// Values that arrive are stored; a short read just stops early.
static void readfloats(FILE *f, float *dest, int count)
{
    uint32_t bits;
    for (int i = 0; i < count && readu32(f, bits); i++)
        std::memcpy(&dest[i], &bits, 4);
}

static const floatsection *findsection(const floatsection *table, int count, const char tag[4])
{
    for (int i = 0; i < count; i++)
        if (std::memcmp(table[i].tag, tag, 4) == 0)
            return &table[i];
    return nullptr;
}

enum textresult { textmissing, textread, textbadlength };

// "Eqat" data: the length, then that many bytes. The text is always left
// terminated: after the bytes that arrived, or on its last byte if the
// stored text filled the whole buffer without a NUL.
static textresult readtext(FILE *f, char *text, int32_t &length)
{
    uint32_t n;
    if (!readu32(f, n))
        return textmissing;
    length = int32_t(n);
    if (length < 0 || length > exprtextsize)
        return textbadlength;
    size_t got = std::fread(text, 1, size_t(length), f);
    text[got < size_t(exprtextsize) ? got : exprtextsize - 1] = 0;
    return textread;
}

int normaliseheader(char *text)
{
    int length = int(strnlen(text, exprtextsize - 1));
    text[length] = 0;
    int first = int(std::strcspn(text, "\n"));
    if (first == exprheaderlength - 1)
        return length > exprheaderlength ? length - exprheaderlength : 0;
    int reststart = text[first] == '\n' ? first + 1 : length;
    int restlength = length - reststart;
    const int roomforbody = exprtextsize - 1 - exprheaderlength;
    if (restlength > roomforbody)
        restlength = roomforbody;       // keep the start of the body, drop its end
    std::memmove(text + exprheaderlength, text + reststart, size_t(restlength));
    text[exprheaderlength + restlength] = 0;
    std::memcpy(text, exprheader, exprheaderlength);
    return restlength;
}

// Sets texscripts.why and returns 0.
static int refuse(const char *format, ...) __attribute__((format(printf, 1, 2)));
static int refuse(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(texscripts.why, sizeof texscripts.why, format, args);
    va_end(args);
    return 0;
}

// The file opened past its magic, or null with the reason when it cannot be
// read (missing, a directory, a FIFO) or is no texture script.
static FILE *openscript(const char *path)
{
    texscripts.why[0] = 0;
    char why[200];
    FILE *f = fopenregular(path, why, sizeof why);
    if (!f) {
        refuse("cannot open %s: %s", path, why);
        return nullptr;
    }
    if (!readmagic(f)) {
        if (std::ferror(f))
            refuse("cannot read %s: %s", path, std::strerror(errno));
        else
            refuse("%s is not a texture script (no \"TxQv\" magic)", path);
        std::fclose(f);
        return nullptr;
    }
    return f;
}

// Closes the file; a read error on the way makes the load fail.
static bool closescript(FILE *f, const char *path)
{
    int err = std::ferror(f) ? errno : 0;
    std::fclose(f);
    if (err)
        refuse("cannot read %s: %s", path, std::strerror(err));
    return err == 0;
}

int headerparamcount(const char *text)
{
    const char *s = text;
    bool inheader = false, named = false;
    int commas = 0;
    while (*s) {
        if (s[0] == '/' && s[1] == '/') {
            s += std::strcspn(s, "\r\n");
            continue;
        }
        if (s[0] == '/' && s[1] == '*') {
            const char *end = std::strstr(s + 2, "*/");
            s = end ? end + 2 : s + std::strlen(s);
            continue;
        }
        char c = *s++;
        if (!inheader) {
            inheader = c == '(';
            continue;
        }
        if (c == ')')
            return named ? commas + 1 : 0;
        if (c == ',')
            commas++;
        else if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            named = true;
    }
    return 0;   // no header: nothing compiles
}

// A header asking for more arguments than a texture is called with would
// read past them.
static bool paramsfit(const char *text, const char *path)
{
    int n = headerparamcount(text);
    if (n <= textureparams)
        return true;
    refuse("%s: the expression header declares %d parameters, more than the %d a texture is given", path, n,
           textureparams);
    return false;
}

int loadtexture(const char *path)
{
    FILE *f = openscript(path);
    if (!f)
        return 0;
    static texturescript s;
    s = texscripts.script;
    const floatsection sections[] = {
        {"Wgt:", 16, &s.weights[0][0]}, {"Air:", 1, &s.shape}, {"Lta:", 1, &s.lightangle},
        {"Scal", 1, &s.scale},          {"w6ol", 1, &s.solidweight},
    };
    bool newtext = false;
    int bodylength = 0;
    char tag[4];
    while (readtag(f, tag)) {
        if (const floatsection *sec = findsection(sections, int(std::size(sections)), tag)) {
            readfloats(f, sec->dest, sec->count);
        } else if (std::memcmp(tag, "Eqat", 4) == 0) {
            int32_t n;
            textresult r = readtext(f, s.text, n);
            if (r == textbadlength) {
                std::fclose(f);
                return refuse("%s is damaged: expression length %ld is outside 0..%d", path, long(n), exprtextsize);
            }
            if (r == textread) {
                bodylength = normaliseheader(s.text);
                newtext = true;
            }
        }
    }
    if (!closescript(f, path) || !paramsfit(s.text, path))
        return 0;
    texscripts.script = s;
    if (newtext && texscripts.editreset)
        texscripts.editreset(bodylength);
    return 1;
}

static void genlog(const char *line)
{
    if (texscripts.genlog)
        texscripts.genlog(line);
    else
        std::fputs(line, stderr);
}

int loadgentexture(const char *path, textureslot &slot)
{
    FILE *f = openscript(path);
    if (!f)
        return 0;
    textureslot s = slot;
    const floatsection sections[] = {
        {"Wgt2", 12, &s.channel[0][0]}, {"Scal", 1, &s.scale}, {"w6ol", 1, &s.solidweight},
    };
    static char text[exprtextsize];
    bool sawtext = false;
    char tag[4];
    while (readtag(f, tag)) {
        if (const floatsection *sec = findsection(sections, int(std::size(sections)), tag)) {
            readfloats(f, sec->dest, sec->count);
            continue;
        }
        if (std::memcmp(tag, "Eqat", 4) != 0)
            continue;
        int32_t n = 0;
        textresult r = readtext(f, text, n);
        if (r == textmissing)
            continue;
        if (r == textbadlength) {
            if (sawtext)
                exprfree(s.func);
            std::fclose(f);
            return refuse("%s is damaged: expression length %ld is outside 0..%d", path, long(n), exprtextsize);
        }
        // A repeated section replaces the expression: keep one compiled copy.
        if (sawtext)
            exprfree(s.func);
        s.func = compileexpr(text);
        sawtext = s.func != nullptr;
        if (!s.func) {
            char line[512];
            std::snprintf(line, sizeof line, "%s\n", path);
            genlog(line);
            std::fclose(f);
            return refuse("%s: the expression does not compile: %s", path, compileerror());
        }
        if (exprparamcount() > textureparams) {
            exprfree(s.func);
            std::fclose(f);
            return refuse("%s: the expression header declares %d parameters, more than the %d a texture is given",
                          path, exprparamcount(), textureparams);
        }
    }
    if (!closescript(f, path)) {
        if (sawtext)
            exprfree(s.func);
        return 0;
    }
    if (!sawtext)
        return refuse("%s has no expression (\"Eqat\" section missing)", path);
    slot = s;
    return 1;
}

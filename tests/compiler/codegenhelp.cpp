#include "codegenhelp.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "codegen.h"
#include "runtime.h"

compiled compileflavour(const char *text, exprflavour f)
{
    compiled c;
    setexprflavour(f);
    exprfunc fn = compileexpr(text);
    setexprflavour(nativeflavour);
    if (!fn) {
        c.error = compileerror();
        return c;
    }
    c.ok = true;
    c.code = (const unsigned char *)fn;
    c.bytes.assign(c.code, c.code + exprcodesize());
    return c;
}

static uint64_t placeholder(const std::string &name, uint64_t pool)
{
    struct {
        const char *name;
        uint64_t address;
    } table[] = {
        {"M1", (uintptr_t)&exprfloatconsts[0]},
        {"HALF", (uintptr_t)&exprfloatconsts[1]},
        {"ONE", (uintptr_t)&exprfloatconsts[2]},
        {"R15", (uintptr_t)&exprfloatconsts[3]},
        {"RS", (uintptr_t)&exprrandstate},
        {"FACT", (uintptr_t)exprfact},
        {"POW", (uintptr_t)exprpow},
        {"NRND", (uintptr_t)exprnrnd},
        {"POOL", pool},
    };
    for (auto &t : table)
        if (name == t.name)
            return t.address;
    std::fprintf(stderr, "unknown placeholder {%s}\n", name.c_str());
    return 0xDEADBEEF;
}

std::vector<unsigned char> expandbytes(const char *golden, const unsigned char *code, exprflavour f)
{
    int width = f == flavourx64 ? 8 : 4;
    // First pass: find the pool marker's offset.
    std::vector<unsigned char> out;
    uint64_t pool = 0;
    for (int pass = 0; pass < 2; pass++) {
        out.clear();
        for (const char *p = golden; *p;) {
            if (*p == ' ' || *p == '|') {
                p++;
            } else if (*p == '@') {
                pool = (uintptr_t)code + out.size();
                p++;
            } else if (*p == '{') {
                const char *end = std::strchr(p, '}');
                uint64_t a = placeholder(std::string(p + 1, end), pool);
                for (int i = 0; i < width; i++)
                    out.push_back((unsigned char)(a >> (8 * i)));
                p = end + 1;
            } else {
                unsigned v = 0;
                std::sscanf(p, "%2x", &v);
                out.push_back((unsigned char)v);
                p += 2;
            }
        }
    }
    return out;
}

std::vector<std::string> disassemble(const std::vector<unsigned char> &bytes, exprflavour f)
{
    char path[] = "/tmp/codegentestXXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return {"objdump-missing"};
    bool written = write(fd, bytes.data(), bytes.size()) == (ssize_t)bytes.size();
    close(fd);
    std::vector<std::string> out;
    std::string cmd = std::string("objdump -D -b binary -M intel -m ") +
                      (f == flavourx64 ? "i386:x86-64 " : "i386 ") + path + " 2>/dev/null";
    FILE *p = written ? popen(cmd.c_str(), "r") : nullptr;
    if (!p) {
        unlink(path);
        return {"objdump-missing"};
    }
    char line[512];
    bool any = false;
    while (std::fgets(line, sizeof line, p)) {
        any = true;
        const char *tab1 = std::strchr(line, '\t');
        const char *tab2 = tab1 ? std::strchr(tab1 + 1, '\t') : nullptr;
        if (!tab2)
            continue;                          // a header or a continuation of long bytes
        std::string ins;
        for (const char *c = tab2 + 1; *c && *c != '\n'; c++)
            if (*c != ' ' || (!ins.empty() && ins.back() != ' '))
                ins += *c;
        while (!ins.empty() && ins.back() == ' ')
            ins.pop_back();
        out.push_back(ins);
        if (ins == "ud2")
            break;
    }
    pclose(p);
    unlink(path);
    if (!any)
        return {"objdump-missing"};
    return out;
}

std::vector<std::string> splitinstructions(const char *list)
{
    std::vector<std::string> out;
    std::string cur;
    for (const char *p = list;; p++) {
        if (*p == ';' || *p == 0) {
            size_t a = cur.find_first_not_of(' '), b = cur.find_last_not_of(' ');
            if (a != std::string::npos)
                out.push_back(cur.substr(a, b - a + 1));
            cur.clear();
            if (!*p)
                break;
        } else {
            cur += *p;
        }
    }
    return out;
}

bool wildmatch(const char *pattern, const char *text)
{
    if (*pattern == 0)
        return *text == 0;
    if (*pattern == '*')
        return wildmatch(pattern + 1, text) || (*text && wildmatch(pattern, text + 1));
    return *text == *pattern && wildmatch(pattern + 1, text + 1);
}

std::string hexdump(const std::vector<unsigned char> &bytes)
{
    std::string s;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X ", c);
        s += b;
    }
    return s;
}

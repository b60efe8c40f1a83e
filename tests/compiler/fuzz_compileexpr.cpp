// libFuzzer target: any text gives a function or a message, never a crash.
// Functions without jumps (so they cannot loop) are also run once, and every
// result is listed. Built and run by scripts/fuzz.sh; the seeds are in
// seeds/compileexpr.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include "compiler.h"
#include "state.h"

static bool hasjumps()
{
    for (uint32_t i = 1; i < cs.quadcount; i++)
        if (cs.quads[i].op == opgoto || cs.quads[i].op == opif0 || cs.quads[i].op == opif1)
            return true;
    return false;
}

// A failure is placed in the text (its end included), on one of its lines;
// nowhere only when memory ran out.
static bool placedwithin(const char *text, const char *error)
{
    int at = compileerrorat();
    if (at < 0)
        return at == -1 && strcasestr(error, "malloc failed");
    exprplace p = exprplaceof(text, at);
    return at <= (int)strlen(text) && p.column == at - p.start + 1 && !memchr(text + p.start, '\n', (size_t)p.length);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text((const char *)data, size);
    setexprdialect(size % 2 ? dialectvrastik : dialectpelmora);
    exprfunc f = compileexpr(text.c_str());
    const char *listing = exprlist(3);
    if (strlen(listing) > 16383)
        __builtin_trap();
    if (!f) {
        const char *error = compileerror();
        if (strlen(error) > 255 || strncmp(error, "ERROR: ", 7) != 0 || !placedwithin(text.c_str(), error))
            __builtin_trap();
        return 0;
    }
    if (!hasjumps()) {
        std::vector<double> args((size_t)cs.paramcount + 1, 1.5);
        exprcall(f, args.data(), cs.paramcount);
    }
    exprfree(f);
    return 0;
}

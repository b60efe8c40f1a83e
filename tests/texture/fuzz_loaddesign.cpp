// libFuzzer target: the designer's load of a texture script (read the file
// into the texture, compile its expression, weigh the points again) on any
// bytes. Never a crash, a leak or a hang; a refused file gives a reason and
// leaves the texture as it was; a loaded one leaves a terminated text whose
// first line is a 37-character header, and a compiled expression of at most
// twelve parameters or the compiler's message. Built and run by scripts/fuzz.sh.
//
// Seeds: the example scripts and seeds/texscript (every section, sections
// cut, unknown tags, two expressions, headers short, long or missing, text
// without its NUL or filling the whole buffer, lengths out of range).
#include "compiler.h"
#include "designer.h"
#include "texscript.h"

#include "support/fuzzinput.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    startdesigner();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = fuzzinputfile(data, size);
    static texturescript before;
    before = texscripts.script;
    exprfunc beforefunc = texscripts.func;
    char why[512];
    std::memset(why, 'x', sizeof why);
    if (!loaddesign(path, why, sizeof why)) {
        if (!std::memchr(why, 0, sizeof why) || !why[0])
            __builtin_trap();   // no reason, or one without its end
        if (std::memcmp(&before, &texscripts.script, sizeof before) != 0 || texscripts.func != beforefunc)
            __builtin_trap();   // a refused file changed the texture
        return 0;
    }
    const char *text = texscripts.script.text;
    if (!std::memchr(text, 0, exprtextsize) || std::strcspn(text, "\n") != size_t(exprheaderlength - 1))
        __builtin_trap();
    if (!texscripts.func && std::strncmp(compileerror(), "ERROR: ", 7) != 0)
        __builtin_trap();
    if (texscripts.func && exprparamcount() > 12)
        __builtin_trap();   // code that would read beyond the twelve arguments
    return 0;
}

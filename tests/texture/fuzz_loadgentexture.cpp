// libFuzzer target: the generator's load of a texture script into a slot
// (read the file, compile each expression section) on any bytes. Never a
// crash, a leak or a hang; a refused file leaves the slot as it was, a
// loaded one holds compiled code of at most twelve parameters; every log
// line is one terminated line.
// Built and run by scripts/fuzz.sh.
//
// Seeds: the example scripts and seeds/texscript (every section, sections
// cut, unknown tags, two expressions, headers short, long or missing, text
// without its NUL or filling the whole buffer, lengths out of range).
#include "compiler.h"
#include "texscript.h"

#include "support/fuzzinput.h"

#include <cstdint>
#include <cstring>

static void checklogline(const char *line)
{
    size_t length = std::strlen(line);
    if (length == 0 || line[length - 1] != '\n' || std::memchr(line, '\n', length) != line + length - 1)
        __builtin_trap();
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setexprdialect(dialectvrastik);
    texscripts.genlog = checklogline;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = fuzzinputfile(data, size);
    textureslot slot, before;
    std::memset(&slot, 0x5A, sizeof slot);   // values no file is likely to hold
    slot.func = nullptr;
    before = slot;
    if (!loadgentexture(path, slot)) {
        if (std::memcmp(&slot, &before, sizeof slot) != 0)
            __builtin_trap();   // a refused file changed the slot
        return 0;
    }
    if (!slot.func || exprparamcount() > 12)
        __builtin_trap();   // no code, or code that would read beyond the twelve arguments
    exprfree(slot.func);
    return 0;
}

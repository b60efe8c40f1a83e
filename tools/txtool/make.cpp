// txtool make OUT.tx SOURCE: a texture script from its readable text form
// (the format is described in texture/texsource.h), written by savetexture.
#include "commands.h"
#include "compiler.h"
#include "texscript.h"
#include "texsource.h"

#include <cstdio>

int txmake(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: txtool make OUT.tx SOURCE\n");
        return 2;
    }
    char err[256];
    if (!readtexsource(argv[1], texscripts.script, err, sizeof err)) {
        std::fprintf(stderr, "txtool make: %s: %s\n", argv[1], err);
        return 1;
    }
    // A script the generator cannot compile is no use: refuse it here.
    setexprdialect(dialectvrastik);
    exprfunc f = compileexpr(texscripts.script.text);
    if (!f) {
        std::fprintf(stderr, "txtool make: %s: the expression does not compile: %s\n", argv[1], compileerror());
        return 1;
    }
    exprfree(f);
    if (!savetexture(argv[0])) {
        std::fprintf(stderr, "txtool make: %s\n", texscripts.why);
        return 1;
    }
    return 0;
}

#include "designer.h"
#include "compiler.h"
#include "noise.h"
#include "pointset.h"
#include "texscript.h"

#include <cstdio>

void startdesigner()
{
    setexprdialect(dialectpelmora);
    makedefaults();
    initnoise(noisedesigner);
}

int loaddesign(const char *path, char *why, size_t whysize)
{
    if (whysize)
        why[0] = 0;
    if (!loadtexture(path)) {
        std::snprintf(why, whysize, "%s", texscripts.why);
        return 0;
    }
    exprfree(texscripts.func);     // the replaced expression's code
    texscripts.func = compileexpr(texscripts.script.text);
    setsolidweight(texscripts.script.solidweight);
    return 1;
}

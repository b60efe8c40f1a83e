#include "designer.h"
#include "compiler.h"
#include "noise.h"
#include "pointset.h"
#include "preview.h"
#include "random.h"
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

int renderdesign(const char *path, const designactions &a, char *why, size_t whysize)
{
    exprseed(1);
    resetlibraryrand();
    resetpreview();
    startdesigner();
    renderpreview(1, 1);
    if (!loaddesign(path, why, whysize))
        return 0;
    if (!renderpreview(1, 1)) {
        std::snprintf(why, whysize, "out of memory building the point grids");
        return 0;
    }
    if (a.setlight) {
        texscripts.script.lightangle = a.light;
        renderpreview(0, 1);
    }
    if (a.nolight) {
        preview.lighting = 0;
        renderpreview(0, 1);
    }
    return 1;
}

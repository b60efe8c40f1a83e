#include "designer.h"
#include "compiler.h"
#include "noise.h"
#include "pointset.h"
#include "texscript.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

void startdesigner()
{
    setexprdialect(dialectpelmora);
    makedefaults();
    initnoise(noisedesigner);
}

// Why a path cannot be read as a script before the reader tries it.
static bool readable(const char *path, char *why, size_t whysize)
{
    struct stat st;
    if (stat(path, &st) != 0) {
        std::snprintf(why, whysize, "cannot open %s: %s", path, std::strerror(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        std::snprintf(why, whysize, "cannot open %s: %s", path, S_ISDIR(st.st_mode) ? "it is a directory" : "not a regular file");
        return false;
    }
    FILE *f = std::fopen(path, "rb");
    if (!f) {
        std::snprintf(why, whysize, "cannot open %s: %s", path, std::strerror(errno));
        return false;
    }
    std::fclose(f);
    return true;
}

int loaddesign(const char *path, char *why, size_t whysize)
{
    if (whysize)
        why[0] = 0;
    if (!readable(path, why, whysize))
        return 0;
    if (!loadtexture(path)) {
        std::snprintf(why, whysize, "%s is not a texture script (no \"TxQv\" magic or a bad expression length)", path);
        return 0;
    }
    exprfree(texscripts.func);     // the replaced expression's code
    texscripts.func = compileexpr(texscripts.script.text);
    setsolidweight(texscripts.script.solidweight);
    return 1;
}

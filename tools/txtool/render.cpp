// txtool render IN.tx OUT.png [--nolight] [--light RADIANS]: the preview the
// designer shows after loading a script, exported as the designer exports it.
#include "commands.h"
#include "compiler.h"
#include "designer.h"
#include "png.h"
#include "pngexport.h"
#include "preview.h"
#include "texscript.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct renderoptions {
    const char *in = nullptr;
    const char *out = nullptr;
    bool nolight = false;
    bool setlight = false;
    float light = 0.0f;
};

int usage()
{
    std::fprintf(stderr, "usage: txtool render IN.tx OUT.png [--nolight] [--light RADIANS]\n");
    return 2;
}

bool parseangle(const char *s, float &angle)
{
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    if (end == s || *end != 0 || errno == ERANGE || !std::isfinite(v))
        return false;
    angle = float(v);
    return true;
}

bool parseoptions(int argc, char **argv, renderoptions &o)
{
    for (int i = 0; i < argc; i++) {
        const char *a = argv[i];
        if (std::strcmp(a, "--nolight") == 0) {
            o.nolight = true;
        } else if (std::strcmp(a, "--light") == 0) {
            if (i + 1 >= argc || !parseangle(argv[i + 1], o.light)) {
                std::fprintf(stderr, "txtool render: --light needs an angle in radians\n");
                return false;
            }
            o.setlight = true;
            i++;
        } else if (std::strncmp(a, "--", 2) == 0) {
            std::fprintf(stderr, "txtool render: unknown option '%s'\n", a);
            return false;
        } else if (!o.in) {
            o.in = a;
        } else if (!o.out) {
            o.out = a;
        } else {
            std::fprintf(stderr, "txtool render: unexpected argument '%s'\n", a);
            return false;
        }
    }
    return o.in && o.out;
}

// The designer's load flow, then its rebuild of the preview.
bool loadscript(const char *path)
{
    char why[512];
    if (!loaddesign(path, why, sizeof why)) {
        std::fprintf(stderr, "txtool render: %s\n", why);
        return false;
    }
    if (!texscripts.func) {
        std::printf("%s\n", compileerror());
        std::fprintf(stderr, "txtool render: '%s': the expression does not compile; rendering with the built-in formula\n",
                     path);
    }
    if (!renderpreview(1, 1)) {
        std::fprintf(stderr, "txtool render: out of memory building the point grids\n");
        return false;
    }
    return true;
}

} // namespace

int txrender(int argc, char **argv)
{
    renderoptions o;
    if (!parseoptions(argc, argv, o))
        return usage();
    startdesigner();
    renderpreview(1, 1);
    if (!loadscript(o.in))
        return 1;
    // Each option is one more user action in the designer, in this order: the
    // light dragged to the angle, then the lighting switched off.
    if (o.setlight) {
        texscripts.script.lightangle = o.light;
        renderpreview(0, 1);
    }
    if (o.nolight) {
        preview.lighting = 0;
        renderpreview(0, 1);
    }
    if (!exportpreview(o.out)) {
        std::fprintf(stderr, "txtool render: %s\n", png.message);
        return 1;
    }
    return 0;
}

// txtool render IN.tx OUT.png [--nolight] [--light RADIANS]: the preview the
// designer shows after loading a script, exported as the designer exports it.
#include "commands.h"
#include "compiler.h"
#include "designer.h"
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
    designactions actions;
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
            o.actions.nolight = true;
        } else if (std::strcmp(a, "--light") == 0) {
            if (i + 1 >= argc || !parseangle(argv[i + 1], o.actions.light)) {
                std::fprintf(stderr, "txtool render: --light needs an angle in radians\n");
                return false;
            }
            o.actions.setlight = true;
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

} // namespace

int txrender(int argc, char **argv)
{
    renderoptions o;
    if (!parseoptions(argc, argv, o))
        return usage();
    // Each option is one more user action in the designer, in this order: the
    // light dragged to the angle, then the lighting switched off.
    char why[512];
    if (!renderdesign(o.in, o.actions, why, sizeof why)) {
        std::fprintf(stderr, "txtool render: %s\n", why);
        return 1;
    }
    if (!texscripts.func) {
        std::printf("%s\n", compileerror());
        std::fprintf(stderr, "txtool render: '%s': the expression does not compile; rendering with the built-in formula\n",
                     o.in);
    }
    pngwriter writer;
    if (!exportpreview(writer, o.out)) {
        std::fprintf(stderr, "txtool render: %s\n", writer.message);
        return 1;
    }
    return 0;
}

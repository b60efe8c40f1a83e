// txtool render IN.tx OUT.png [--size N] [--tile] [--nolight] [--light RADIANS]:
// the preview the designer shows after loading a script, exported as the
// designer exports it; --size and --tile as its F4 asks (surface.h).
#include "commands.h"
#include "compiler.h"
#include "designer.h"
#include "pngexport.h"
#include "preview.h"
#include "surface.h"
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
    surfaceoptions surface;
};

int usage()
{
    std::fprintf(stderr, "usage: txtool render IN.tx OUT.png [--size N] [--tile] [--nolight] [--light RADIANS]\n");
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

// A side of 64 to 4096 that is a multiple of 32, in decimal digits.
bool parseside(const char *s, int &side)
{
    if (!s || !*s || std::strlen(s) > 5 || std::strspn(s, "0123456789") != std::strlen(s))
        return false;
    side = std::atoi(s);
    return surfacesideok(side);
}

bool parseoptions(int argc, char **argv, renderoptions &o)
{
    for (int i = 0; i < argc; i++) {
        const char *a = argv[i];
        if (std::strcmp(a, "--nolight") == 0) {
            o.actions.nolight = true;
        } else if (std::strcmp(a, "--tile") == 0) {
            o.surface.tile = true;
        } else if (std::strcmp(a, "--size") == 0) {
            if (!parseside(i + 1 < argc ? argv[i + 1] : nullptr, o.surface.side)) {
                std::fprintf(stderr, "txtool render: --size needs a side of %d to %d pixels, a multiple of %d (got '%s')\n",
                             surfaceminside, surfacemaxside, surfacesidestep, i + 1 < argc ? argv[i + 1] : "");
                return false;
            }
            i++;
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
    if (!exportsurface(writer, o.out, o.surface)) {
        std::fprintf(stderr, "txtool render: %s\n", writer.message);
        return 1;
    }
    return 0;
}

// txtool: inspect, evaluate and make texture expressions and scripts.
#include "commands.h"

#include <cstdio>
#include <cstring>

static const txcommand commands[] = {
    {"eval", "eval [--dialect pelmora|vrastik] TEXT-OR-@FILE [ARG ...]", txeval},
    {"list", "list [--flavour ia32|x64] [--dialect pelmora|vrastik] TEXT-OR-@FILE", txlist},
    {"show", "show FILE.tx", txshow},
    {"make", "make OUT.tx SOURCE", txmake},
    {"render", "render IN.tx OUT.png [--size N] [--tile] [--nolight] [--light RADIANS]", txrender},
};

static int usage()
{
    std::fprintf(stderr, "usage:\n");
    for (const txcommand &c : commands)
        std::fprintf(stderr, "  txtool %s\n", c.usage);
    return 2;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    for (const txcommand &c : commands)
        if (std::strcmp(argv[1], c.name) == 0)
            return c.run(argc - 2, argv + 2);
    std::fprintf(stderr, "txtool: unknown command '%s'\n", argv[1]);
    return usage();
}

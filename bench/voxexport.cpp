// voxexport: the .vox writer alone, for the benchmark, until the mapexport
// program links it.
//   voxexport MAP.gmv OUT.vox [--solid] [--threads N] [--region X0,Y0,X1,Y1]
#include "safefile.h"
#include "vox.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fputs("usage: voxexport MAP.gmv OUT.vox [--solid] [--threads N] [--region X0,Y0,X1,Y1]\n", stderr);
        return 2;
    }
    mapfile map;
    mapfault fault;
    if (!loadmap(argv[1], &map, &fault)) {
        char text[400];
        formatfault(fault, text, sizeof text);
        std::fprintf(stderr, "voxexport: %s: %s\n", argv[1], text);
        return 1;
    }
    exportoptions options;
    options.region = {0, 0, map.header.sizex - 1, map.header.sizey - 1};
    options.progress = isatty(2);
    for (int i = 3; i < argc; i++) {
        if (!std::strcmp(argv[i], "--solid"))
            options.solid = true;
        else if (!std::strcmp(argv[i], "--threads") && i + 1 < argc)
            options.threads = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--region") && i + 1 < argc &&
                 std::sscanf(argv[++i], "%u,%u,%u,%u", &options.region.x0, &options.region.y0, &options.region.x1,
                             &options.region.y1) == 4)
            continue;
        else {
            std::fprintf(stderr, "voxexport: bad option '%s'\n", argv[i]);
            return 2;
        }
    }
    char why[safemessagesize];
    if (!writevox(map, options, argv[2], why, sizeof why)) {
        std::fprintf(stderr, "voxexport: %s\n", why);
        return 1;
    }
    return 0;
}

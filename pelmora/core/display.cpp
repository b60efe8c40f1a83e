#include "display.h"

#include <cstddef>

displaystate display;

void resetdisplay()
{
    display = {};
}

static uint32_t *rowof(const framebuffer &fb, int y)
{
    return reinterpret_cast<uint32_t *>(reinterpret_cast<unsigned char *>(fb.pixels) + ptrdiff_t(y) * fb.pitch);
}

void clearscreen(uint32_t colour)
{
    framebuffer fb;
    if (display.locked || !host.lock(&fb))
        return;
    for (int y = 0; y < fb.height; y++) {
        uint32_t *row = rowof(fb, y);
        for (int x = 0; x < fb.width; x++)
            row[x] = colour;
    }
}

int lockframe(framebuffer &fb)
{
    if (display.locked)
        unlockframe();
    if (!host.lock(&display.frame))
        return 0;
    display.locked = 1;
    fb = display.frame;
    return 1;
}

void unlockframe()
{
    display.locked = 0;
}

void nextpage()
{
    if (display.frame.pixels)
        host.present(display.frame);
}

void flipgdi()
{
}

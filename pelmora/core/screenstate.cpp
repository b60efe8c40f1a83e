#include "screenstate.h"

#include <cstdarg>
#include <cstdio>

screenstate screen;

void resetscreen()
{
    screen = screenstate{};
    screen.hover = screen.active = screen.clicked = screen.released = nocontrol;
    screen.editor.anchor = -1;
    screen.quickhelp = 1;
    screen.errorplace = -1;
}

void setstatus(double seconds, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(screen.status, sizeof screen.status, format, args);
    va_end(args);
    screen.statusuntil = screen.currenttime + seconds;
}

#include "screenstate.h"

screenstate screen;

void resetscreen()
{
    screen = screenstate{};
    screen.hover = screen.active = screen.clicked = screen.released = nocontrol;
    screen.editor.anchor = -1;
    screen.quickhelp = 1;
}

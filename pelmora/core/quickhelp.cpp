// The quick-help bar at the bottom: the help text of the control under the
// cursor, kept for one second after the cursor leaves it. A left click on
// the bar turns the texts off and on; while off, the bar still explains
// itself when hovered.
#include "quickhelp.h"
#include "draw.h"
#include "screenstate.h"

constexpr uint32_t barcolour = 0x404080, textcolour = 0xC0C0C0;

static void shortbar()
{
    fillrect(20, 555, 70, 12, barcolour);
}

void stepquickhelp()
{
    int h;
    if (screen.quickhelp) {
        fillrect(20, 555, 760, 12, barcolour);
        h = screen.hover;
    } else if (screen.hover != ctlquickhelp) {
        screen.helpdrawn = 0;
        shortbar();
        printtext(22, 557, textcolour, transparent, "Quick help:");
        return;
    } else {
        h = ctlquickhelp;
    }
    if (h != nocontrol && screen.controls[h].help) {
        screen.helptext = screen.controls[h].help;
        screen.helptimer = 1.0f;
    }
    screen.helpdrawn = screen.helptext && screen.helptimer > 0.0f;
    if (screen.helpdrawn) {
        printtext(94, 557, textcolour, transparent, "%s", screen.helptext);
        screen.helptimer -= float(screen.currenttime - screen.previoustime);
    }
    if (screen.clicked == ctlquickhelp) {
        screen.quickhelp = !screen.quickhelp;
        if (!screen.quickhelp)
            shortbar();
    }
    printtext(22, 557, textcolour, transparent, "Quick help:");
}

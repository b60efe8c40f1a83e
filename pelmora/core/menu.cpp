// The editor's context menu: Copy, Paste and Delete, opened by a right
// click in the editor at the cursor. While open it holds the capture, so
// the next left click lands on it wherever it is: on an entry it runs the
// entry, elsewhere it only closes the menu. A new right press closes it too,
// and so does a dialog that opens (it takes the capture).
#include "menu.h"
#include "controls.h"
#include "cursor.h"
#include "draw.h"
#include "editor.h"
#include "keys.h"
#include "screenstate.h"
#include "typing.h"

constexpr int menuwidth = 48, menuheight = 30, entryheight = 10;

struct menuentry {
    const char *label;
    uint32_t key;       // the editor key the entry stands for
};

static const menuentry entries[3] = {
    {" Copy", makekey(scaninsert, 0, modlctrl)},
    {" Paste", makekey(scaninsert, 0, modlshift)},
    {" Delete", makekey(scandelete, 0, 0)},
};

// As the key would (a change sets the modified flag; Copy changes nothing).
static void runentry(const menuentry &e)
{
    typeinto(e.key);
}

static void closemenu()
{
    control &m = screen.controls[ctlmenu];
    m.x0 = m.y0 = m.x1 = m.y1 = 0;
    m.capture = 0;
}

void stepmenu()
{
    control &m = screen.controls[ctlmenu];
    if (m.capture && screen.active != ctlmenu)
        closemenu();                // a dialog took the capture
    if (screen.active != ctlmenu || !m.capture)
        return;
    fillrect(m.x0 - 4, m.y0 - 4, m.x1 - m.x0 + 8, m.y1 - m.y0 + 8, 0x404080);
    if (insidecontrol(ctlmenu, cursor.mousex, cursor.mousey)) {
        int v = (cursor.mousey - m.y0) / entryheight;
        fillrect(m.x0, m.y0 + entryheight * v, m.x1 - m.x0, entryheight, 0x4060C0);
        if (screen.clicked == ctlmenu)
            runentry(entries[v]);
    }
    for (int v = 0; v < 3; v++)
        printtext(m.x0, m.y0 + entryheight * v, 0xC0C0C0, transparent, "%s", entries[v].label);
    bool rightpress = (cursor.buttons & 2) && !(cursor.previousbuttons & 2);
    if (screen.clicked == ctlmenu || rightpress)
        closemenu();
}

void openmenu()
{
    if (screen.clicked != ctleditor)
        return;
    control &m = screen.controls[ctlmenu];
    m.x0 = cursor.mousex;
    m.y0 = cursor.mousey;
    m.x1 = m.x0 + menuwidth;
    m.y1 = m.y0 + menuheight;
    m.capture = 1;
    screen.active = ctlmenu;
}

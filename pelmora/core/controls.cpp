// The control list and the role update every control shares.
#include "controls.h"
#include "cursor.h"
#include "input.h"
#include "keys.h"
#include "screenstate.h"

static const char *const weighthelp = "Hold LMB or RMB and change weight. LMB = immediate update";

// The list in hit-test order, group sliders excepted (below).
static const control startcontrols[ctlgroupsliders] = {
    {580, 8, 700, 20, 0, 1, 0, 0, 0, "Not enough cool, huh?"},
    {440, 8, 560, 20, 0, 1, scanf4, 0, 0, "Click LMB to save texture as PNG."},
    {300, 8, 420, 20, 0, 1, scanf3, 0, 0, "Click LMB to save texture script."},
    {160, 8, 280, 20, 0, 1, scanf2, 0, 0, "Click LMB to load texture script."},
    {20, 8, 140, 20, 0, 1, scanf1, 0, 0, "Click LMB to show help."},
    {20, 555, 780, 567, 1, 0, 0, 0, 0, "Click LMB to toggle quick help."},
    {0, 0, 0, 0, 1, 3, 0, 0, 0, ""},        // the context menu, closed
    {300, 40, 780, 296, 2, 1, 0, 0, 0,
     "Press Ctrl+ENTER to recompile expression and update. \"*\" means expression modified."},
    {20, 40, 276, 296, 2, 1, 0, 0, 0, "Hold LMB and change light angle. Click RMB to toggle lighting."},
    {540, 330, 556, 530, 0, 3, 0, 0, 0, "Hold LMB and change shape (positive = concave, negative = convex)."},
    {500, 330, 516, 530, 0, 3, 0, 0, 0, "Hold LMB or RMB and change global scale. LMB = immediate update"},
};

// Group sliders were made group by group, component by component (R, G,
// B, group scale), each put at the head of the list after the global scale
// slider: the last made comes first.
static int groupslidercontrol(int component, int group)
{
    int made = 4 * group + component;
    return ctlgroupsliders + (groupslidercount - 1 - made);
}

int slidercontrol(int n)
{
    if (n == 16)
        return ctlscale;
    if (n == 17)
        return ctlshape;
    return groupslidercontrol(n / 4, n % 4);
}

void buildcontrols()
{
    for (int id = 0; id < ctlgroupsliders; id++)
        screen.controls[id] = startcontrols[id];
    for (int g = 0; g < 4; g++)
        for (int c = 0; c < 4; c++) {
            int x0 = 20 + 120 * g + 24 * c;
            screen.controls[groupslidercontrol(c, g)] = {x0, 330, x0 + 16, 530, 0, 3, 0, 0, 0, weighthelp};
        }
}

bool insidecontrol(int id, int x, int y)
{
    const control &c = screen.controls[id];
    return c.x0 <= x && x < c.x1 && c.y0 <= y && y < c.y1;
}

static bool staycaptured(const control &c)
{
    return c.capture || (cursor.buttons & c.holdmask) || (c.holdkey && input.keystatus[c.holdkey & 0xFF]);
}

static bool pressed(int mask)
{
    return (cursor.buttons & mask) && !(cursor.previousbuttons & mask);
}

// The active control keeps its capture while it holds it; otherwise it is
// released and the first control under the cursor takes the roles.
void updateroles(bool dialogopen)
{
    screen.hover = screen.clicked = screen.released = nocontrol;
    if (dialogopen) {
        screen.active = nocontrol;
        return;
    }
    if (screen.active != nocontrol) {
        const control &a = screen.controls[screen.active];
        if (staycaptured(a)) {
            screen.hover = screen.active;
            if (pressed(a.clickmask))
                screen.clicked = screen.active;
            return;
        }
        screen.released = screen.active;
        screen.active = nocontrol;
    }
    for (int id = 0; id < controlcount; id++) {
        if (!insidecontrol(id, cursor.mousex, cursor.mousey))
            continue;
        const control &c = screen.controls[id];
        screen.hover = id;
        if (cursor.buttons & c.holdmask)
            screen.active = id;
        if (pressed(c.clickmask))
            screen.clicked = id;
        return;
    }
}

// The five buttons along the top. A button acts when the left button is
// released after being pressed on it (wherever the cursor is by then) or
// at once through its hotkey. Load and Exit ask first when there is
// unsaved work.
#include "buttons.h"
#include "draw.h"
#include "flows.h"
#include "platform.h"
#include "screenstate.h"

#include <cstring>

static void togglehelppage()
{
    screen.helppage = !screen.helppage;
}

struct buttondef {
    int id;
    const char *label;
    void (*action)();
};

// In drawing order; when two act in one frame the later one wins.
static const buttondef buttondefs[] = {
    {ctlhelp, "F1 = Help", togglehelppage},
    {ctlload, "F2 = Load", loadunlessunsaved},
    {ctlsave, "F3 = Save", saveflow},
    {ctlpng, "F4 = Save PNG", pngflow},
    {ctlexit, "ESC = Exit", closedesigner},
};

constexpr uint32_t buttoncolour = 0x404080, buttonhovercolour = 0x4060C0;

static void drawbutton(const buttondef &b)
{
    const control &c = screen.controls[b.id];
    bool lit = screen.hover == b.id || (b.id == ctlhelp && screen.helppage);
    fillrect(c.x0, c.y0, c.x1 - c.x0, c.y1 - c.y0, lit ? buttonhovercolour : buttoncolour);
    int length = int(std::strlen(b.label));
    printtext((c.x0 + c.x1 - 6 * length) / 2, c.y0 + 2, 0xC0C0C0, transparent, "%s", b.label);
}

void (*stepbuttons())()
{
    void (*action)() = nullptr;
    for (const buttondef &b : buttondefs) {
        drawbutton(b);
        if (screen.clicked == b.id || screen.released == b.id)
            action = b.action;
    }
    return action;
}

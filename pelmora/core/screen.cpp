// One frame of the designer screen, in its order:
//    1 clear and lock the frame            13 open the menu on a right click
//    2 time, cursor blink                  14 help page
//    3 mouse and cursor                    15 sliders
//    4 Shift keys                          16 light angle and lighting
//    5 control roles                       17 re-render the preview
//    6 key events                          18 the preview image
//    7 compile error line                  19 buttons
//    8 modified mark                       20 the button's action
//    9 expression header                   21 quick-help bar
//   10 editor cursor from the mouse        22 banner
//   11 editor text                         23 cursor
//   12 context menu                        24 present, keyboard, ESC held
// The button's action is chosen in 19 and run after 22, so that a file
// chooser finds the whole screen (but the cursor) behind it; nothing in 21
// and 22 depends on what an action changes.
#include "app.h"
#include "compiler.h"
#include "display.h"
#include "draw.h"
#include "editor.h"
#include "input.h"
#include "keys.h"
#include "preview.h"
#include "screen.h"
#include "texscript.h"

#include <algorithm>
#include <cmath>
#include <cstring>

screenstate screen;

constexpr uint32_t textcolour = 0xC0C0C0;
constexpr int editorleft = 300, editortop = 48, editorbottom = 296, editorextralines = 30;
constexpr int previewleft = 20, previewtop = 40;
constexpr int lightcentrex = 148, lightcentrey = 168;

void resetscreen()
{
    screen = screenstate{};
    screen.hover = screen.active = screen.clicked = screen.released = nocontrol;
    screen.cursorx = 320.0f;
    screen.cursory = 240.0f;
    screen.mousex = 320;
    screen.mousey = 240;
    screen.quickhelp = 1;
}

static bool beginframe()
{
    clearscreen(0);
    if (!lockframe(screen.frame))
        return false;
    setframe(screen.frame.pixels, screen.frame.pitch, screen.frame.width, screen.frame.height);
    return true;
}

// The blink deadline moves on in whole seconds.
static void steptime()
{
    screen.previoustime = screen.currenttime;
    screen.currenttime = readtime();
    double now = screen.currenttime;
    double &deadline = editor.blinkdeadline;
    if (now - deadline > 1000.0)
        deadline += std::floor(now - deadline) - 1.0;
    while (deadline < now)
        deadline += 1.0;
}

static void roundcursor()
{
    screen.mousex = int(std::lrint(screen.cursorx));
    screen.mousey = int(std::lrint(screen.cursory));
}

// The mouse came back into the window at (x, y).
static void reentercursor(int x, int y)
{
    screen.cursorx = float(std::clamp(x, 0, std::max(screen.frame.width - 1, 0)));
    screen.cursory = float(std::clamp(y, 0, std::max(screen.frame.height - 1, 0)));
    roundcursor();
}

// Leaving the frame with no button held hands the mouse to the system
// cursor (windowed mode); the cursor stays on the frame's edge.
void stepmouse()
{
    screen.previousbuttons = screen.buttons;
    mousereading m = readmouse();
    screen.buttons = m.buttons;
    screen.cursorx += m.dx;
    screen.cursory += m.dy;
    float right = float(screen.frame.width - 1), bottom = float(screen.frame.height - 1);
    float &x = screen.cursorx, &y = screen.cursory;
    if (x < 0.0f || x > right || y < 0.0f || y > bottom) {
        if (!m.buttons)
            releasemouse(reentercursor, int(std::clamp(x, -1.0e9f, 1.0e9f)), int(std::clamp(y, -1.0e9f, 1.0e9f)));
        x = std::clamp(x, 0.0f, std::max(right, 0.0f));
        y = std::clamp(y, 0.0f, std::max(bottom, 0.0f));
    }
    roundcursor();
}

static void stepshift()
{
    screen.shift = input.keystatus[scanlshift] || input.keystatus[scanrshift];
}

// The new code replaces the old, whose pages go back to the system: a
// designer recompiles for hours.
static void recompile()
{
    exprfree(texscripts.func);
    texscripts.func = compileexpr(texscripts.script.text);
    editor.modified = 0;
    screen.rendernow = 1;
}

static int hotkeycontrol(int scan)
{
    for (int id = 0; id < controlcount; id++)
        if (screen.controls[id].hotkey && screen.controls[id].hotkey == scan)
            return id;
    return nocontrol;
}

// ESC closes, Ctrl + main Enter recompiles, a hotkey clicks its button;
// the editor gets the rest.
static void stepkeys()
{
    while (uint32_t event = getkeyevent()) {
        int scan = keyscan(event);
        if (scan == scanesc) {
            requestclose();
            continue;
        }
        if (scan == scanenter && keyctrl(event)) {
            recompile();
            continue;
        }
        int id = hotkeycontrol(scan);
        if (id != nocontrol) {
            screen.clicked = id;
            continue;
        }
        int result = editkey(event);
        if (result == 2)
            editor.modified = 1;
        if (result)
            editor.blinkdeadline = screen.currenttime + 1.0;
    }
}

// The compiler's message while no expression is compiled, the modified
// mark, and the header line the body follows.
static void drawexpressionhead()
{
    if (!texscripts.func)
        printtext(300, 30, 0xFF4040, 0x601010, "%s", compileerror());
    if (editor.modified)
        printtext(294, 40, textcolour, transparent, "*");
    const char *text = texscripts.script.text;
    int n = 0;
    while (n < exprheaderlength - 1 && text[n] && text[n] != '\n')
        n++;
    drawtext(300, 40, textcolour, transparent, text, n);
}

static void stepeditor()
{
    if (screen.active == ctleditor)
        clicktocursor(editorleft, editortop, editorbottom, screen.mousex, screen.mousey,
                      screen.shift || (screen.previousbuttons & 1));
    drawedittext(editorleft, editortop, editorextralines, screen.currenttime);
}

// A right click on the preview turns the lighting off and on; holding the
// left button points the light from the preview's centre to the cursor.
static void steplight()
{
    if (screen.clicked == ctlpreview) {
        preview.lighting = !preview.lighting;
        screen.relight = screen.rendernow = 1;
    }
    if (screen.active == ctlpreview && preview.lighting) {
        double angle = std::atan2(double(screen.mousex - lightcentrex), double(screen.mousey - lightcentrey));
        texscripts.script.lightangle = float(angle);
        screen.relight = screen.rendernow = 1;
    }
}

// A render that could not build the grids (out of memory) leaves a black
// preview; it is tried again, with a rebuild, a second later.
static void steprender()
{
    if (screen.active == nocontrol && screen.valuechanged)
        screen.rendernow = 1;
    if (screen.retryat > 0.0 && screen.currenttime >= screen.retryat)
        screen.rendernow = screen.rebuild = 1;
    if (!screen.rendernow)
        return;
    int ok = renderpreview(screen.rebuild, screen.relight);
    screen.valuechanged = screen.rebuild = screen.relight = screen.rendernow = 0;
    screen.retryat = 0.0;
    if (!ok) {
        screen.rebuild = 1;
        screen.retryat = screen.currenttime + 1.0;
    }
}

static void drawpreview()
{
    const framebuffer &f = screen.frame;
    int rows = std::min(previewside, f.height - previewtop), columns = std::min(previewside, f.width - previewleft);
    for (int y = 0; y < rows; y++) {
        auto *row = reinterpret_cast<uint32_t *>(reinterpret_cast<unsigned char *>(f.pixels) +
                                                 ptrdiff_t(previewtop + y) * f.pitch);
        std::memcpy(row + previewleft, preview.image + y * previewside, size_t(std::max(columns, 0)) * 4);
    }
}

static void drawbanner()
{
    printtext(screen.frame.width - 310, screen.frame.height - 20, 0x909090, transparent,
              "Pelmora Generator by Yorvath '%s", designerversion);
}

void drawcross(int x, int y)
{
    constexpr uint32_t white = 0xFFFFFF;
    fillrect(x - 8, y - 1, 6, 2, white);
    fillrect(x + 2, y - 1, 6, 2, white);
    fillrect(x - 1, y - 8, 2, 6, white);
    fillrect(x - 1, y + 2, 2, 6, white);
}

// An I-beam over the editor, elsewhere the cross.
static void drawcursor()
{
    roundcursor();
    int x = screen.mousex, y = screen.mousey;
    constexpr uint32_t white = 0xFFFFFF;
    if (insidecontrol(ctleditor, x, y)) {
        fillrect(x, y - 4, 1, 8, white);
        fillrect(x - 2, y - 4, 5, 1, white);
        fillrect(x - 2, y + 4, 5, 1, white);
    } else {
        drawcross(x, y);
    }
}

static void endframe()
{
    unlockframe();
    nextpage();
    readkeyboard();
    if (input.keystatus[scanesc])
        requestclose();
}

void doframe()
{
    if (!beginframe())
        return;
    steptime();
    stepmouse();
    stepshift();
    updateroles();
    stepkeys();
    drawexpressionhead();
    stepeditor();
    stepmenu();
    openmenu();
    if (screen.helppage)
        drawhelppage();
    stepsliders();
    steplight();
    steprender();
    drawpreview();
    void (*action)() = stepbuttons();
    stepquickhelp();
    drawbanner();
    if (action)
        action();
    drawcursor();
    endframe();
}

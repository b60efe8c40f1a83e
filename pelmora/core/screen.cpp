// One frame of the designer screen, in its order:
//    1 clear and lock the frame            14 help page
//    2 time, cursor blink                  15 sliders
//    3 mouse and cursor                    16 light angle and lighting
//    4 Shift keys                          17 re-render the preview
//    5 control roles                       18 the preview image
//    6 key events                          19 buttons
//    7 compile error line                  20 quick-help bar
//    8 modified mark                       21 banner
//    9 expression header                   22 the button's action
//   10 editor cursor from the mouse        23 the open dialog
//   11 editor text                         24 cursor
//   12 context menu                        25 present, keyboard, ESC held
//   13 open the menu on a right click
// An open dialog has the keys and the mouse: while one is open the
// controls get no roles (5) and no key events (6), and ESC held does not
// close (25); the frame under it is drawn as always, and the dialog
// dims it and draws itself over it (23). The button's action is chosen
// in 19 and run after 21, so that a dialog it opens finds the whole frame
// (but the cursor) under it; it is drawn in that same frame and takes
// input from the next one on.
#include "screen.h"
#include "buttons.h"
#include "compiler.h"
#include "controls.h"
#include "cursor.h"
#include "dialog.h"
#include "display.h"
#include "draw.h"
#include "editor.h"
#include "helppage.h"
#include "input.h"
#include "keys.h"
#include "menu.h"
#include "platform.h"
#include "preview.h"
#include "quickhelp.h"
#include "screenstate.h"
#include "sliders.h"
#include "texscript.h"

#include <algorithm>
#include <cmath>
#include <cstring>

constexpr uint32_t textcolour = 0xC0C0C0;
constexpr int editorleft = 300, editortop = 48, editorbottom = 296, editorextralines = 30;
constexpr int previewleft = 20, previewtop = 40;
constexpr int lightcentrex = 148, lightcentrey = 168;

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
    double &deadline = screen.editor.blinkdeadline;
    if (now - deadline > 1000.0)
        deadline += std::floor(now - deadline) - 1.0;
    while (deadline < now)
        deadline += 1.0;
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
    screen.editor.modified = 0;
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
        int result = editkey(screen.editor, event);
        if (result == editchanged)
            screen.editor.modified = 1;
        if (result != editunused)
            screen.editor.blinkdeadline = screen.currenttime + 1.0;
    }
}

// The compiler's message while no expression is compiled, the modified
// mark, and the header line the body follows.
static void drawexpressionhead()
{
    if (!texscripts.func)
        printtext(300, 30, 0xFF4040, 0x601010, "%s", compileerror());
    if (screen.editor.modified)
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
        clicktocursor(screen.editor, editorleft, editortop, editorbottom, cursor.mousex, cursor.mousey,
                      screen.shift || (cursor.previousbuttons & 1));
    drawedittext(screen.editor, editorleft, editortop, editorextralines, screen.currenttime);
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
        double angle = std::atan2(double(cursor.mousex - lightcentrex), double(cursor.mousey - lightcentrey));
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

// The cross, or an I-beam over the editor while no dialog is open.
static void drawcursor()
{
    int x = cursor.mousex, y = cursor.mousey;
    if (!dialogopen() && insidecontrol(ctleditor, x, y))
        drawibeam(x, y);
    else
        drawcross(x, y);
}

static void endframe()
{
    unlockframe();
    nextpage();
    readkeyboard();
    if (input.keystatus[scanesc] && !dialogopen())
        requestclose();
}

void doframe()
{
    if (!beginframe())
        return;
    bool dialog = dialogopen();
    steptime();
    stepmouse(screen.frame.width, screen.frame.height);
    stepshift();
    updateroles(dialog);
    if (!dialog)
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
    stepdialog(screen.frame);
    drawcursor();
    endframe();
}

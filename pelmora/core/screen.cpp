// One frame of the designer screen, in its order:
//    1 clear and lock the frame            15 sliders
//    2 time, cursor blink                  16 light angle and lighting
//    3 mouse and cursor                    17 a drag that ended: a history step
//    4 Shift keys                          18 re-render the preview
//    5 control roles                       19 the preview image
//    6 key events, a live compile due      20 buttons
//    7 compile error line                  21 quick-help bar
//    8 modified mark                       22 status line
//    9 expression header                   23 banner
//   10 editor cursor from the mouse        24 the button's action (or a close
//   11 editor text (scrolled to the           the window asked for, or the
//      cursor, the error's place marked)      script changed on disk)
//   12 context menu                        25 the open dialog
//   13 open the menu on a right click      26 cursor
//   14 help page                           27 present, keyboard, ESC held
// An open dialog has the keys and the mouse: while one is open the
// controls get no roles (5) and no key events (6), and ESC held does not
// close (27); the frame under it is drawn as always, and the dialog
// dims it and draws itself over it (25). The button's action is chosen
// in 20 and run after 23, so that a dialog it opens finds the whole frame
// (but the cursor) under it; it is drawn in that same frame and takes
// input from the next one on. A key that opens a dialog (ESC asking about
// unsaved work) leaves the keys after it to the dialog.
#include "screen.h"
#include "buttons.h"
#include "compiler.h"
#include "controls.h"
#include "cursor.h"
#include "dialog.h"
#include "display.h"
#include "document.h"
#include "draw.h"
#include "editor.h"
#include "flows.h"
#include "helppage.h"
#include "history.h"
#include "input.h"
#include "keys.h"
#include "menu.h"
#include "platform.h"
#include "preview.h"
#include "quickhelp.h"
#include "recompile.h"
#include "screenstate.h"
#include "pointset.h"
#include "sliders.h"
#include "texscript.h"
#include "typing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

constexpr uint32_t textcolour = 0xC0C0C0;
constexpr int editorleft = 300, editortop = 48, editorbottom = 296, editorextralines = 30;
constexpr int editorcolumns = 80;      // (780 - 300) / 6: the cursor is kept within them
constexpr int statusx = 20, statusy = 580, statuscolumns = 77;      // left of the banner
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

static int hotkeycontrol(int scan)
{
    for (int id = 0; id < controlcount; id++)
        if (screen.controls[id].hotkey && screen.controls[id].hotkey == scan)
            return id;
    return nocontrol;
}

// An undo or redo took a step: the screen follows what it changed.
static void tookstep(int changed, const char *nothing)
{
    if (!changed) {
        setstatus(2.0, "%s", nothing);
        return;
    }
    if (changed & changedtext) {
        textchanged();
        screen.editor.blinkdeadline = screen.currenttime + 1.0;
    }
    if (changed & changedshape) {
        setsolidweight(texscripts.script.solidweight);
        screen.rebuild = 1;
    }
    if (changed & changedlight)
        screen.relight = 1;
    if (changed & changedvalues)
        screen.rendernow = 1;
}

// Keys the screen takes before the editor; false for the others.
static bool screenkey(uint32_t event)
{
    int scan = keyscan(event);
    bool ctrl = keyctrl(event), shift = keyshift(event);
    if (scan == scanesc)
        closedesigner();
    else if (scan == scanenter && ctrl)
        recompile();
    else if ((scan == scanz && ctrl && !shift))
        tookstep(undo(), "Nothing to undo");
    else if ((scan == scany && ctrl) || (scan == scanz && ctrl && shift))
        tookstep(redo(), "Nothing to redo");
    else if (scan == scanf5)
        togglelivecompile();
    else
        return false;
    return true;
}

// ESC closes (asking first about unsaved work), Ctrl + main Enter
// recompiles, Ctrl+Z and Ctrl+Y undo and redo, F5 turns live compiles on
// and off, a hotkey clicks its button; the editor gets the rest. A dialog
// opened by a key gets the keys after it.
static void stepkeys()
{
    uint32_t event;
    while (!dialogopen() && (event = getkeyevent())) {
        if (screenkey(event))
            continue;
        int id = hotkeycontrol(keyscan(event));
        if (id != nocontrol) {
            screen.clicked = id;
            continue;
        }
        if (typeinto(event) != editunused)
            screen.editor.blinkdeadline = screen.currenttime + 1.0;
    }
    steplivecompile();
}

// The compiler's message (with the error's place) while the last compile
// failed, the modified mark, and the header line the body follows.
static void drawexpressionhead()
{
    if (screen.compilefailed || !texscripts.func)
        printtext(300, 30, 0xFF4040, 0x601010, "%s", screen.compilefailed ? screen.errortext : compileerror());
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
    followcursor(screen.editor, 1 + editorextralines, editorcolumns);
    screen.editor.mark = errormark();
    drawedittext(screen.editor, editorleft, editortop, editorextralines, screen.currenttime);
}

// Slider drags and turns of the light are history steps once they end.
static void stepvalueshistory()
{
    int a = screen.active;
    bool dragging = a == ctlpreview || a == ctlshape || a == ctlscale || (a >= ctlgroupsliders && a < controlcount);
    if (!dragging)
        commit(stepvalues, commitvalues);
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

// The live compile's switch and the last message, while it lasts.
static void drawstatus()
{
    if (screen.status[0] && screen.currenttime >= screen.statusuntil)
        screen.status[0] = 0;
    std::string line = screen.livecompile ? "Live compile on (F5)" : "";
    if (screen.status[0])
        line += (line.empty() ? "" : "   ") + std::string(screen.status);
    line = fittext(line, statuscolumns);
    drawtext(statusx, statusy, textcolour, transparent, line.c_str(), int(line.size()));
}

// What waits for the frame when no button acted: a close the window asked
// for (at once when nothing is unsaved, else once no dialog is open), a
// script changed on disk.
static void (*waitingaction())()
{
    if (screen.closeasked && (!dialogopen() || !unsaved())) {
        screen.closeasked = 0;
        return closedesigner;
    }
    if (document.changed && !dialogopen())
        return offerreload;
    return nullptr;
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

// Wheel turns no dialog took are not kept for a later one.
static void endframe()
{
    unlockframe();
    nextpage();
    readkeyboard();
    if (!dialogopen())
        readwheel();
    if (input.keystatus[scanesc] && !dialogopen())
        closedesigner();
}

void askclose()
{
    screen.closeasked = 1;
}

void doframe()
{
    if (!beginframe())
        return;
    bool hadinput = inputpending();
    inputtaken();
    bool dialog = dialogopen();
    steptime();
    pollscript(screen.currenttime);
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
    stepvalueshistory();
    steprender();
    drawpreview();
    void (*action)() = stepbuttons();
    stepquickhelp();
    drawstatus();
    drawbanner();
    if (!action)
        action = waitingaction();
    if (action)
        action();
    stepdialog(screen.frame);
    drawcursor();
    endframe();
    screen.again = hadinput || action || dialog != dialogopen();
    screen.frames++;
}

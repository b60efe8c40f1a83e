// The designer screen: one immediate-mode frame redrawn from scratch each
// pass (doframe), and the controls it is made of.
//
// Every control goes through the same steps each frame: hit box, then its
// role (hover, active, clicked, released), then drawing. Only the active
// control lasts from frame to frame; the other roles are recomputed.
//
// State kept elsewhere: the texture, its compiled expression and the light
// angle in texscripts, the lighting flag in preview, the editor's text,
// cursor, selection, modified flag and blink deadline in editor.
#pragma once
#include "platform.h"

#include <cstdint>

constexpr int groupslidercount = 16;
constexpr int slidercount = 18;
constexpr int startdirsize = 4096;

// Controls in hit-test order: the first whose box holds the cursor wins.
// The sixteen group sliders follow the global scale slider in the reverse
// of their creation order (groups 1 to 4, each R, G, B, group scale).
enum controlid : int {
    nocontrol = -1,
    ctlexit,
    ctlpng,
    ctlsave,
    ctlload,
    ctlhelp,
    ctlquickhelp,
    ctlmenu,
    ctleditor,
    ctlpreview,
    ctlshape,
    ctlscale,
    ctlgroupsliders,
    controlcount = ctlgroupsliders + groupslidercount,
};

struct control {
    int x0, y0, x1, y1;     // hit box: x0 <= x < x1, y0 <= y < y1
    int clickmask;          // buttons whose press makes it the clicked control
    int holdmask;           // buttons that make it active and hold the capture
    int hotkey;             // scan byte whose key event clicks it, 0 none
    int holdkey;            // scan byte that holds the capture while down, 0 none
    int capture;            // non-zero: captured whatever the buttons do
    const char *help;       // quick-help text; null none
};

struct screenstate {
    control controls[controlcount];
    int hover, active, clicked, released;   // control ids, nocontrol for none

    float cursorx, cursory;                 // the designer's own cursor
    int mousex, mousey;                     // the cursor rounded
    int buttons, previousbuttons;           // bit 0 left, bit 1 right
    int shift;                              // either Shift held (keystatus)

    int helppage;                           // the help page is shown
    int quickhelp;                          // the quick-help bar shows texts
    const char *helptext;                   // the text on the bar, null none
    float helptimer;                        // seconds it still shows

    double previoustime, currenttime;       // seconds (readtime)
    int rendernow, valuechanged, rebuild, relight;
    double retryat;                         // a failed render is tried again then; 0 none

    framebuffer frame;                      // this pass's frame
    char startdir[startdirsize];            // where the first file dialog opens
};

extern screenstate screen;

// Start values of everything above and the control list.
void resetscreen();

// One frame of the designer.
void doframe();

// ---- the parts of a frame (controls.cpp, sliders.cpp, buttons.cpp, ...) ----

// The control list as built at start-up (ids as in controlid).
void buildcontrols();
// Slider number n (0..15 group sliders 4 c + g, 16 global scale, 17 shape)
// and its control.
int slidercontrol(int n);
// The roles of this frame from the buttons now and in the previous frame.
void updateroles();
// Whether (x, y) lies in the control's box.
bool insidecontrol(int id, int x, int y);

// The designer's cursor from the mouse (frame step 3); dialogs running
// frames of their own move it the same way.
void stepmouse();
// The cursor's cross with its gap, centred on (x, y).
void drawcross(int x, int y);

void drawhelppage();
void stepsliders();
// Draws the buttons; returns the action of the one that acts, or null.
void (*stepbuttons())();
void stepmenu();
void openmenu();
void stepquickhelp();

// The designer screen's record: the controls and their roles, the help
// page and quick-help bar, the frame's times and render requests, and the
// expression editor. The frame (screen.cpp) and its parts (controls.cpp,
// sliders.cpp, buttons.cpp, menu.cpp, helppage.cpp, quickhelp.cpp) read and
// write it; the load flow sets its render requests.
//
// Every control goes through the same steps each frame: hit box, then its
// role (hover, active, clicked, released), then drawing. Only the active
// control lasts from frame to frame; the other roles are recomputed.
//
// State kept elsewhere: the texture, its compiled expression and the light
// angle in texscripts, the lighting flag in preview, the mouse cursor in
// cursor, the open dialog in modal.
#pragma once
#include "editor.h"
#include "platform.h"

constexpr int groupslidercount = 16;
constexpr int slidercount = 18;

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
    int shift;                              // either Shift held (keystatus)

    editorstate editor;                     // the expression's body, its cursor and selection

    int helppage;                           // the help page is shown
    int quickhelp;                          // the quick-help bar shows texts
    const char *helptext;                   // the text on the bar, null none
    float helptimer;                        // seconds it still shows

    double previoustime, currenttime;       // seconds (readtime)
    int rendernow, valuechanged, rebuild, relight;
    double retryat;                         // a failed render is tried again then; 0 none

    // The last compile (compile.h).
    int compilefailed;                      // the line above the editor shows errortext
    char errortext[320];                    // the compiler's message and its place
    int errorplace;                         // the place as a body offset, -1 none
    int textversion;                        // counts the body's changes
    int compiledversion;                    // textversion when the last compile ran
    int livecompile;                        // F5: compile a short pause after each change
    double compileat;                       // a live compile is due then; 0 none

    char status[160];                       // the status line's message, "" none
    double statusuntil;                     // it goes then

    int frames;                             // frames drawn
    int again;                              // the frame had input: the next follows at once
    int helpdrawn;                          // a quick-help text is on the screen
    int closeasked;                         // the window was asked to close

    framebuffer frame;                      // this pass's frame
};

extern screenstate screen;

// Start values of everything above (the control list is built apart,
// buildcontrols).
void resetscreen();

// A message on the status line (left of the banner) for `seconds`.
void setstatus(double seconds, const char *format, ...) __attribute__((format(printf, 2, 3)));

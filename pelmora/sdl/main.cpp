// pelmora, the texture designer. No word on the command line: an 800 x 600
// window; any word: 1024 x 768 full screen. In the window, files are chosen
// with the desktop's dialog when zenity or kdialog is installed, unless
// PELMORA_DIALOGS=builtin asks for the designer's own chooser.
//
// Start-up order: the clock, the key tables, the designer's own start-up
// (initapp, before any window exists), then SDL, the window, the mouse and
// the display. A failed SDL step shows a message box with SDL's reason and
// ends the program with exit code 1.
#include "app.h"
#include "display.h"
#include "idle.h"
#include "input.h"
#include "screen.h"
#include "sdlplatform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

sdlstate sdl;

static void requestclosesdl()
{
    sdl.closing = 1;
}

static void sethost()
{
    host.clock = sdlclock;
    host.lock = sdllock;
    host.present = sdlpresent;
    host.close = requestclosesdl;
    host.releasemouse = app.fullscreen ? nullptr : sdlreleasemouse;
    host.getclipboard = getclipboardutf8;
    host.setclipboard = setclipboardutf8;
    const char *dialogs = std::getenv("PELMORA_DIALOGS");
    bool builtin = dialogs && std::strcmp(dialogs, "builtin") == 0;
    host.systemdialog = app.fullscreen || builtin ? nullptr : sdlsystemdialog;
}

// Pump; stop once closing; while active, draw a frame when the designer
// needs one and else sleep until it will or an event comes; while
// inactive, sleep until something happens.
static void mainloop()
{
    for (;;) {
        pumpevents();
        if (sdl.closing)
            return;
        if (!input.active) {
            SDL_WaitEvent(nullptr);
            continue;
        }
        double wait = framewait(sdlclock());
        if (wait <= 0.0)
            doframe();
        else
            waitevents(wait);
    }
}

int main(int argc, char **argv)
{
    sdl.clockfrequency = SDL_GetPerformanceFrequency();
    sdl.clockstart = SDL_GetPerformanceCounter();
    host.clock = sdlclock;
    resetinput(sdlclock());
    resetdisplay();
    if (initapp(argc, argv) < 0)
        return -1;
    sethost();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        failstartup("SDL_Init");
        return 1;
    }
    if (!openwindow() || !startmouse() || !opendisplay()) {
        closeall();
        return 1;
    }
    inputmousestart(sdlclock());
    mainloop();
    uninitapp();
    closeall();
    return 0;
}

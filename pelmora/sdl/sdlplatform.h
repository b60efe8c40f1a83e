// The SDL side of the designer: window, presenting, events, clock and
// clipboard. The only code that sees SDL.
#pragma once
#include "platform.h"

#include <SDL.h>

#include <cstdint>
#include <vector>

struct sdlstate {
    SDL_Window *window;
    SDL_Renderer *renderer;
    SDL_Texture *texture;
    std::vector<uint32_t> frame;    // the back frame the core draws into
    int width, height;

    int vsync;                      // presenting waits for the display
    double lastpresent;             // seconds
    int quickpresents;              // presents in a row that did not wait

    int closing;                    // the designer asked to close (host.close)
    int quitasked;                  // the window or the desktop asked to close
    int released;                   // the system cursor has the mouse (windowed)
    int warpx, warpy;               // where it was put

    uint64_t clockstart, clockfrequency;
};

extern sdlstate sdl;

// Start-up; each shows its own failure message and returns 0.
int openwindow();
int opendisplay();
int startmouse();
void closeall();

// The message box (and stderr) for a failed start-up step.
void failstartup(const char *what);

double sdlclock();
int sdllock(framebuffer *fb);
void sdlpresent(const framebuffer &fb);
void sdlreleasemouse(int x, int y);
// The last presented frame shown again (the window was exposed).
void sdlrepresent();

// Takes every waiting event into the core and ends the pump.
void pumpevents();
// While a desktop dialog runs: only the window's own events (activation,
// close); keys and the mouse are dropped. 1 when the window should be
// drawn again.
int pumpwindowevents();

// Sleeps until an event comes, `seconds` at most.
void waitevents(double seconds);

// The desktop's file dialog (zenity or kdialog), a systemchoice.
int sdlsystemdialog(const filerequest &request, char *path, int size);

// PC set-1 scan byte of an SDL scancode (0x80 added for extended keys); 0
// for keys the designer does not know.
int scanbyteof(SDL_Scancode code);

// The clipboard's UTF-8 text.
char *getclipboardutf8();
void setclipboardutf8(const char *text);

// The application frame's side in the core: the frame settings and the
// three hooks the platform's main loop calls (initapp once before any
// window exists, doframe (screen.h) once per pass while the program is
// active, uninitapp when the window closes).
//
// Main loop of a platform: pump the platform's events into the core
// (input.h) and end the pump with inputendpump; stop when a close was
// requested (requestclose, platform.h); call doframe while input.active,
// else wait for events.
#pragma once

struct appsettings {
    const char *title;
    int width, height;      // the frame, pixels
    int bitsperpixel;
    int fullscreen;
    int resizable;
};

extern appsettings app;

// The designer's start-up: the start-up directory, the default texture and
// its compile, the noise table, the frame settings (any word on the command
// line: 1024 x 768 full screen, else an 800 x 600 window), the first
// preview, the controls, the clock. Returns 0 (it cannot fail).
int initapp(int argc, char **argv);

void uninitapp();

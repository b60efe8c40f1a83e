// A platform without a screen: the designer draws into a frame buffer in
// memory, its clock advances by a fixed step per frame, and a script feeds
// it keys, text, mouse motion and buttons. The tests and the frame
// benchmark drive the designer through it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct headlessstate {
    std::vector<uint32_t> pixels;   // the frame, width x height
    int width, height;
    double now, step;               // clock and its step per frame, seconds
    uint32_t reporttime;            // ms of the next mouse report
    int lockfailures;               // the next frames whose lock fails
    bool locking;                   // this frame's locks succeed
    int presents;                   // frames presented
    int closes;                     // close requests
    int releases, releasex, releasey;   // releasemouse calls, the last position
    int fullscreen;
    std::string clipboard;
    bool hasclipboard;
};

extern headlessstate headless;

// A fresh designer as at program start (the library random back at its
// start, every record reset) on a headless platform; any argument word
// (fullscreen) gives 1024 x 768. Smoothing off unless asked for: scripts
// then put the cursor exactly where they move it.
void headlessstart(bool fullscreen = false, bool smoothing = false);

// One pass of the main loop: end the pump, advance the clock, doframe.
void headlessframe();
void headlessframes(int n);

// A key pressed and released in the coming pump: modifier keys for the
// given bits go down first and up last; the character comes as typed text.
void presskey(int scan, int character = 0, uint32_t modifiers = 0);

// Mouse motion as one report, the next report 8 ms later.
void movemouse(int dx, int dy);
// Motion that brings the designer's cursor to (x, y) (smoothing off).
void moveto(int x, int y);
void setbutton(int k, bool down);

// Text typed as key presses: each character with its key's scan byte
// where the designer knows one (letters, digits, ".", "/", space), else
// as a character alone.
void typetext(const std::string &text);

// A frame as one row-major vector (the pitch removed).
std::vector<uint32_t> framepixels();

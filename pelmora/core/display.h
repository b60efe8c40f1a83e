// The display layer: the frame the screen draws into each pass, on top of
// the platform's lock and present.
//
// A pass: clearscreen, lockframe (skip the pass when it fails), draw,
// unlockframe, nextpage. An open dialog is drawn in the same pass, over
// the designer's frame.
#pragma once
#include "platform.h"

#include <cstdint>

struct displaystate {
    framebuffer frame;      // the frame handed out by the last lock
    int locked;
};

extern displaystate display;

void resetdisplay();

// Fills the whole back frame with colour; only while it is not locked.
void clearscreen(uint32_t colour);

// Hands out the frame to draw into (unlocking a frame still locked first).
// 0 when the platform has no frame now: the pass is skipped.
int lockframe(framebuffer &fb);

void unlockframe();

// Puts the last locked frame on the screen.
void nextpage();

// Makes the system's own surface visible before a system dialog. Here the
// built-in dialogs draw into our own frames, and the desktop's dialogs are
// used only in a window, beside ours: there is nothing to do.
void flipgdi();

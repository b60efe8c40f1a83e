// The designer screen: one immediate-mode frame redrawn from scratch each
// pass, with the open dialog (if any) stepped over it. The order of a frame
// is the table at the top of screen.cpp; its record is screenstate.h.
#pragma once
#include <cstdint>

constexpr const char *designerversion = "2003.09.01";

// One frame of the designer.
void doframe();

// The window was asked to close (its close button, the desktop): the
// designer ends in its next frame, asking first about unsaved work.
void askclose();

// A key event for the expression editor (editkey) with what follows a
// change: the modified mark, a live compile due, a history step, the
// status line's word about what a paste left out. An editresult.
int typeinto(uint32_t event);

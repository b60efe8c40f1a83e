// The designer screen: one immediate-mode frame redrawn from scratch each
// pass, with the open dialog (if any) stepped over it. The order of a frame
// is the table at the top of screen.cpp; its record is screenstate.h.
#pragma once

constexpr const char *designerversion = "2003.09.01";

// One frame of the designer.
void doframe();

// The window was asked to close (its close button, the desktop): the
// designer ends in its next frame, asking first about unsaved work.
void askclose();

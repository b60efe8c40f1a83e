// The built-in file chooser's layout and drawing (the picture in
// chooserdraw.cpp).
#pragma once
#include "chooser.h"

// The layout on a frame of width x height, the dialog centred.
chooserlayout chooserlayoutof(int width, int height);
// The thumb of the scroll bar.
rect chooserthumb(const chooserlayout &l);
// Draws the chooser, its filter list and question; the name field's
// cursor while `cursoron`.
void drawchooser(const chooserlayout &l, bool cursoron);

// The designer's own mouse cursor, shared by the screen and the dialogs:
// where it is, the buttons now and in the previous frame, and its two
// shapes. The screen moves it once per frame (stepmouse); whoever has the
// mouse this frame (the designer's controls or the open dialog) reads it.
#pragma once

struct cursorstate {
    float x, y;                     // exact position on the frame
    int mousex, mousey;             // the position rounded
    int buttons, previousbuttons;   // bit 0 left, bit 1 right; now and in the previous frame
    int width, height;              // the frame it moved on last
};

extern cursorstate cursor;

// At (320, 240), no button held.
void resetcursor();

// The frame's mouse motion and buttons (readmouse) on a frame of width x
// height. Leaving the frame with no button held hands the mouse to the
// system cursor (windowed mode); the cursor stays on the frame's edge and
// comes back where the system cursor enters again.
void stepmouse(int width, int height);

// The cross with its gap, centred on (x, y).
void drawcross(int x, int y);
// The I-beam (over text), centred on (x, y).
void drawibeam(int x, int y);

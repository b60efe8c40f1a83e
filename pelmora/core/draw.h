// Drawing on a 32-bit frame: a rectangle, an outline and text in the
// built-in 6 x 8 font. Everything clips against one clip rectangle; nothing
// reads the frame or allocates.
#pragma once
#include <cstdint>

// A background with its top bit set draws text transparently.
constexpr uint32_t transparent = 0xFFFFFFFF;
constexpr int textbuffersize = 280;     // longest formatted text and its NUL

struct drawtarget {
    uint32_t *pixels;
    int pitch;                          // bytes from one row to the next
    int width, height;
    int left, top, right, bottom;       // clip: left <= x < right, top <= y < bottom
};

extern drawtarget target;

// Draw on this frame from now on; the clip rectangle becomes the whole frame.
void setframe(uint32_t *pixels, int pitch, int width, int height);

// Narrow the clip rectangle (kept inside the frame); setframe widens it again.
void setclip(int left, int top, int right, int bottom);

void fillrect(int x, int y, int width, int height, uint32_t colour);

// A one-pixel outline: top and bottom rows alternate c1, c2 from the left;
// then the left and right columns alternate c2, c1 from the top.
void drawbox(int x, int y, int width, int height, uint32_t c1, uint32_t c2);

// printf-style text with its top-left corner at (x, y); at most 279
// characters. A tab advances 18 pixels. No line breaking: a line feed is
// drawn as its glyph.
void printtext(int x, int y, uint32_t foreground, uint32_t background, const char *format, ...)
    __attribute__((format(printf, 5, 6)));

// The same for a text of `length` bytes taken as it is (NULs included).
void drawtext(int x, int y, uint32_t foreground, uint32_t background, const char *text, int length);

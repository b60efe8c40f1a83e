#include "cursor.h"
#include "draw.h"
#include "input.h"

#include <algorithm>
#include <cmath>

cursorstate cursor;

constexpr uint32_t cursorcolour = 0xFFFFFF;

void resetcursor()
{
    cursor = cursorstate{};
    cursor.x = 320.0f;
    cursor.y = 240.0f;
    cursor.mousex = 320;
    cursor.mousey = 240;
}

static void roundcursor()
{
    cursor.mousex = int(std::lrint(cursor.x));
    cursor.mousey = int(std::lrint(cursor.y));
}

// The mouse came back into the window at (x, y).
static void reentercursor(int x, int y)
{
    cursor.x = float(std::clamp(x, 0, std::max(cursor.width - 1, 0)));
    cursor.y = float(std::clamp(y, 0, std::max(cursor.height - 1, 0)));
    roundcursor();
}

void stepmouse(int width, int height)
{
    cursor.width = width;
    cursor.height = height;
    cursor.previousbuttons = cursor.buttons;
    mousereading m = readmouse();
    cursor.buttons = m.buttons;
    cursor.x += m.dx;
    cursor.y += m.dy;
    float right = float(width - 1), bottom = float(height - 1);
    float &x = cursor.x, &y = cursor.y;
    if (x < 0.0f || x > right || y < 0.0f || y > bottom) {
        if (!m.buttons)
            releasemouse(reentercursor, int(std::clamp(x, -1.0e9f, 1.0e9f)), int(std::clamp(y, -1.0e9f, 1.0e9f)));
        x = std::clamp(x, 0.0f, std::max(right, 0.0f));
        y = std::clamp(y, 0.0f, std::max(bottom, 0.0f));
    }
    roundcursor();
}

void drawcross(int x, int y)
{
    fillrect(x - 8, y - 1, 6, 2, cursorcolour);
    fillrect(x + 2, y - 1, 6, 2, cursorcolour);
    fillrect(x - 1, y - 8, 2, 6, cursorcolour);
    fillrect(x - 1, y + 2, 2, 6, cursorcolour);
}

void drawibeam(int x, int y)
{
    fillrect(x, y - 4, 1, 8, cursorcolour);
    fillrect(x - 2, y - 4, 5, 1, cursorcolour);
    fillrect(x - 2, y + 4, 5, 1, cursorcolour);
}

// The eighteen vertical sliders: four weight groups (R, G, B, group
// scale), the global scale and the shape.
//
// A slider's value is drawn as a bar from the middle of its box (y 430),
// up for positive values, down for negative ones, with the number at the
// bar's end. While it is the active control the cursor's height sets the
// value: 16 pixels per unit (32 for the global scale), 100 pixels each way.
//
// A value out of that range (from a script) is drawn clipped to the
// slider's box, with an arrow at the clipped end that points on, so that no
// bar runs over the buttons, the editor, the error line or the quick-help
// bar; its number stands at the clipped end, shortened to whole units when
// it would run into the next slider's.
#include "sliders.h"
#include "controls.h"
#include "cursor.h"
#include "draw.h"
#include "pointset.h"
#include "screenstate.h"
#include "texscript.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

struct sliderlook {
    float perunit;
    uint32_t colour, hovercolour;
    const char *format;
};

static const uint32_t componentcolour[4] = {0xC06060, 0x60C060, 0x6060C0, 0x606060};

static sliderlook lookof(int n)
{
    if (n == 16)
        return {32.0f, 0x909090, 0x909090, "%.1f"};
    if (n == 17)
        return {16.0f, 0x6090C0, 0x6090C0, "%.2f"};
    uint32_t c = componentcolour[n / 4];
    return {16.0f, c, c, "%.1f"};
}

static float &valueof(int n)
{
    texturescript &s = texscripts.script;
    if (n == 16)
        return s.scale;
    if (n == 17)
        return s.shape;
    return s.weights[n / 4][n % 4];
}

// Dragging: the value follows the cursor. The shape weighs the solid
// points anew and asks for a rebuild (done on release); the others ask for
// a new colour stage at once unless the right button is held.
static void dragslider(int n, const control &c, int mid, float perunit)
{
    int m = std::clamp(cursor.mousey, c.y0, c.y1);
    float &value = valueof(n);
    value = float(mid - m) / perunit;
    if (n == 17) {
        float w = solidweightof(value);
        texscripts.script.solidweight = w;
        setsolidweight(w);
        screen.rebuild = 1;
    } else if (!(cursor.buttons & 2)) {
        screen.rendernow = 1;
    }
    screen.valuechanged = 1;
}

// The bar's far end, truncated toward zero. A value from a script may be
// anything: far-off ends are held where they still lie off every frame.
static int barend(int mid, float value, float perunit)
{
    float e = float(mid) - value * perunit;
    if (std::isnan(e))
        return mid;
    return int(std::clamp(e, -1.0e6f, 1.0e6f));
}

constexpr uint32_t arrowcolour = 0xFFFFFF;
constexpr int labelcolumns = 4;         // 24 pixels between group sliders

// An arrow of four rows at the clipped end y, pointing up (dir -1) or down.
static void drawoutofrange(const control &c, int y, int dir)
{
    int middle = (c.x0 + c.x1) / 2;
    for (int r = 0; r < 4; r++)
        fillrect(middle - 1 - r, dir < 0 ? y + r : y - 1 - r, 2 + 2 * r, 1, arrowcolour);
}

static void drawslider(int n, int id, const control &c, int mid, const sliderlook &look)
{
    float value = valueof(n);
    uint32_t colour = screen.hover == id ? look.hovercolour : look.colour;
    int e = barend(mid, value, look.perunit);
    bool out = e < c.y0 || e > c.y1;
    e = std::clamp(e, c.y0, c.y1);
    int texty;
    if (e > mid) {
        fillrect(c.x0, mid, c.x1 - c.x0, e - mid, colour);
        texty = e;
    } else {
        fillrect(c.x0, e, c.x1 - c.x0, mid - e, colour);
        texty = e - 8;
    }
    char label[64];
    std::snprintf(label, sizeof label, look.format, double(value));
    if (out) {
        drawoutofrange(c, e, e > mid ? 1 : -1);
        if (n < groupslidercount && std::strlen(label) > size_t(labelcolumns))
            std::snprintf(label, sizeof label, "%.0f", double(value));
    }
    printtext(c.x0 - 2, texty, 0xFFFFFFFF, transparent, "%s", label);
}

void stepsliders()
{
    for (int n = 0; n < slidercount; n++) {
        int id = slidercontrol(n);
        const control &c = screen.controls[id];
        int mid = (c.y0 + c.y1) / 2;
        sliderlook look = lookof(n);
        if (screen.active == id)
            dragslider(n, c, mid, look.perunit);
        drawslider(n, id, c, mid, look);
    }
}

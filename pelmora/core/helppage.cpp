// The help page (F1): the expression's arguments over the editor, boxes
// and names around the slider groups, and the credits. The sliders are
// drawn afterwards, over it.
#include "helppage.h"
#include "controls.h"
#include "draw.h"
#include "screenstate.h"

constexpr uint32_t helpcolour = 0x60D090, headingbackground = 0x408060, linebackground = 0;

struct helprow {
    int x, y;
    const char *text;
    int heading;
};

static const helprow arguments[] = {
    {340, 136, "Expression editor:", 1},
    {340, 146, "  You can type any function here in C-like syntax. ", 0},
    {340, 156, "  Function is calculated for every color component R, G and B. ", 0},
    {340, 166, "Function arguments:", 1},
    {340, 176, "  vx = voxel x position ", 0},
    {340, 186, "  vy = voxel y position ", 0},
    {340, 196, "  vz = voxel z position (height) ", 0},
    {340, 206, "  d1 = distance to 2nd closest point ", 0},
    {340, 216, "  d2 = distance to 3rd closest point ", 0},
    {340, 226, "  d3 = distance to 4th closest point ", 0},
    {340, 236, "  c1 = weight for R, G or B from 1st group * group scale ", 0},
    {340, 246, "  c2 = weight for R, G or B from 2nd group * group scale ", 0},
    {340, 256, "  c3 = weight for R, G or B from 3rd group * group scale ", 0},
    {340, 266, "  c4 = weight for R, G or B from 4rd group * group scale ", 0},
    {340, 276, "  fn = perlin noise function", 0},
    {340, 286, "  sc = global scale", 0},
};

static const helprow credits[] = {
    {656, 324, "Credits:", 1},
    {598, 350, "Yorvath:", 0},
    {598, 360, "        generator idea", 0},
    {598, 370, "        user interface", 0},
    {598, 380, "        texture rendering", 0},
    {598, 390, "        texture examples", 0},
    {598, 410, "Quessel:", 0},
    {598, 420, "        expression compiler", 0},
};

static const char *const ordinals[4] = {"1st", "2nd", "3rd", "4th"};

static void box(int x, int y, int width, int height)
{
    drawbox(x, y, width, height, helpcolour, helpcolour);
}

static void heading(int x, int y, const char *text)
{
    printtext(x, y, helpcolour, headingbackground, "%s", text);
}

static void line(int x, int y, const char *text)
{
    printtext(x, y, helpcolour, linebackground, "%s", text);
}

static void drawrows(const helprow *rows, int count)
{
    for (int i = 0; i < count; i++)
        rows[i].heading ? heading(rows[i].x, rows[i].y, rows[i].text) : line(rows[i].x, rows[i].y, rows[i].text);
}

static const control &sliderbox(int n)
{
    return screen.controls[slidercontrol(n)];
}

static void drawgroup(int g)
{
    const control &r = sliderbox(g), &s = sliderbox(12 + g);
    box(r.x0 - 8, r.y0 - 10, s.x1 - r.x0 + 16, r.y1 - r.y0 + 20);
    printtext(r.x0 - 4, r.y0 - 6, helpcolour, headingbackground, "%s weight group", ordinals[g]);
    static const char *const components[3] = {"R", "G", "B"};
    for (int c = 0; c < 3; c++) {
        const control &k = sliderbox(4 * c + g);
        line(k.x0 - 2, k.y1 - 4, components[c]);
    }
    line(s.x0 - 10, s.y1 - 4, "scale");
}

// The box around a single slider.
static void singlebox(const control &c)
{
    box(c.x0 - 10, c.y0 - 10, c.x1 - c.x0 + 20, c.y1 - c.y0 + 20);
}

void drawhelppage()
{
    box(292, 32, 496, 272);
    drawrows(arguments, int(sizeof arguments / sizeof *arguments));
    for (int g = 0; g < 4; g++)
        drawgroup(g);
    const control &scale = sliderbox(16), &shape = sliderbox(17);
    singlebox(scale);
    heading(scale.x0 - 8, scale.y0 - 6, "glob.");
    heading(scale.x0 - 8, scale.y0 + 2, "scale");
    singlebox(shape);
    heading(shape.x0 - 8, shape.y0 - 6, "shape");
    box(580, 320, 208, 220);
    drawrows(credits, int(sizeof credits / sizeof *credits));
}

#include "pngdialogs.h"
#include "cursor.h"
#include "draw.h"
#include "keys.h"

#include <algorithm>
#include <cstdio>

const int pngsides[pngsidecount] = {256, 512, 1024, 2048, 4096};

constexpr int sidebuttonwidth = 44, sidebuttongap = 6;
constexpr int actionwidth = 64, actiongap = 12;
constexpr int margin = 16, lineheight = 10, boxside = 10;
constexpr int innerwidth = pngsidecount * sidebuttonwidth + (pngsidecount - 1) * sidebuttongap;
constexpr int dialogwidth = innerwidth + 2 * margin;
constexpr int textcolumns = innerwidth / 6;

// ---- the size question --------------------------------------------------------

pngquestionlayout pngquestionlayoutof(int width, int height)
{
    pngquestionlayout l;
    const int h = dialogtitleheight + 12 + 2 * lineheight + 4 + dialogbuttonheight + 12 + boxside + 14 +
                  dialogbuttonheight + 12;
    l.box = {(width - dialogwidth) / 2, (height - h) / 2, dialogwidth, h};
    const int x = l.box.x + margin;
    int y = l.box.y + dialogtitleheight + 12;
    l.namey = y;
    l.asky = y + lineheight;
    y += 2 * lineheight + 4;
    for (int i = 0; i < pngsidecount; i++)
        l.controls[i] = {x + i * (sidebuttonwidth + sidebuttongap), y, sidebuttonwidth, dialogbuttonheight};
    y += dialogbuttonheight + 12;
    // the box and its label answer the mouse together
    l.controls[pngtilebox] = {x, y, boxside + 6 + 6 * textcolumns, boxside};
    l.tiley = y + 1;
    y += boxside + 14;
    const int all = 2 * actionwidth + actiongap, ax = l.box.x + (dialogwidth - all) / 2;
    l.controls[pngsave] = {ax, y, actionwidth, dialogbuttonheight};
    l.controls[pngcancel] = {ax + actionwidth + actiongap, y, actionwidth, dialogbuttonheight};
    return l;
}

pngquestion pngsize = {"", 0, false, -1, 0};

static void choose(int control)
{
    if (control < pngsidecount)
        pngsize.side = control;
    else if (control == pngtilebox)
        pngsize.tile = !pngsize.tile;
    else
        pngsize.result = control == pngsave ? pnganswer(pngsides[pngsize.side], pngsize.tile) : 0;
}

static void questionkey(uint32_t event)
{
    const int scan = keyscan(event), c = keychar(event) | 0x20;
    if (scan == scanenter || scan == scankpenter || scan == scanspace || c == 's')
        choose(pngsave);
    else if (scan == scanesc || c == 'c')
        choose(pngcancel);
    else if (scan == scanleft)
        pngsize.side = std::max(pngsize.side - 1, 0);
    else if (scan == scanright)
        pngsize.side = std::min(pngsize.side + 1, pngsidecount - 1);
    else if (c == 't')
        choose(pngtilebox);
}

static int controlat(const rect *controls, int count, int x, int y)
{
    for (int i = 0; i < count; i++)
        if (controls[i].contains(x, y))
            return i;
    return -1;
}

// A control acts on a release over the one the press was on.
static void pressrelease(const rect *controls, int count, int &pressed, void (*act)(int control))
{
    int at = controlat(controls, count, cursor.mousex, cursor.mousey);
    if (modal.pressed)
        pressed = at;
    if (modal.released) {
        if (at >= 0 && at == pressed)
            act(at);
        pressed = -1;
    }
}

static void questionmouse()
{
    pressrelease(pngquestionlayoutof(modal.width, modal.height).controls, pngcontrolcount, pngsize.pressed, choose);
}

static bool lit(int control, int pressed, int hover)
{
    return pressed >= 0 ? control == pressed && hover == control : hover == control;
}

static void questiondraw()
{
    const pngquestionlayout l = pngquestionlayoutof(modal.width, modal.height);
    drawdialogframe(l.box, "Save PNG");
    const int x = l.box.x + margin;
    std::string name = fittext(screentext(pngsize.name), textcolumns, true);
    drawtext(x, l.namey, dialogtext, transparent, name.c_str(), int(name.size()));
    printtext(x, l.asky, dialogdim, transparent, "Size in pixels (Left, Right):");
    const int hover = controlat(l.controls, pngcontrolcount, cursor.mousex, cursor.mousey);
    char label[8];
    for (int i = 0; i < pngsidecount; i++) {
        std::snprintf(label, sizeof label, "%d", pngsides[i]);
        drawpushbutton(l.controls[i], label, i == pngsize.side || lit(i, pngsize.pressed, hover), i == pngsize.side);
    }
    const rect &box = l.controls[pngtilebox];
    drawwell({box.x, box.y, boxside, boxside}, lit(pngtilebox, pngsize.pressed, hover));
    if (pngsize.tile)
        printtext(box.x + 2, box.y + 1, dialogtext, transparent, "x");
    printtext(box.x + boxside + 6, l.tiley, dialogtext, transparent, "Seamless tile (T)");
    drawpushbutton(l.controls[pngsave], "Save", lit(pngsave, pngsize.pressed, hover), true);
    drawpushbutton(l.controls[pngcancel], "Cancel", lit(pngcancel, pngsize.pressed, hover), false);
}

static int questionanswer()
{
    return pngsize.result;
}

const dialogkind pngsizedialog = {questionkey, questionmouse, questiondraw, questionanswer, nullptr, nullptr};

void askpngsize(const std::string &name, void (*then)(int answer))
{
    pngsize = {name, 0, false, -1, -1};
    opendialog(pngsizedialog, then);
}

// ---- the export under way -------------------------------------------------------

pngexportlayout pngexportlayoutof(int width, int height)
{
    pngexportlayout l;
    const int h = dialogtitleheight + 12 + lineheight + 6 + boxside + 14 + dialogbuttonheight + 12;
    l.box = {(width - dialogwidth) / 2, (height - h) / 2, dialogwidth, h};
    l.texty = l.box.y + dialogtitleheight + 12;
    l.bar = {l.box.x + margin, l.texty + lineheight + 6, innerwidth, boxside};
    l.cancel = {l.box.x + (dialogwidth - actionwidth) / 2, l.bar.y + boxside + 14, actionwidth, dialogbuttonheight};
    return l;
}

pngexporting pngexport = {nullptr, "", -1, 0};

static void cancelexport(int)
{
    pngexport.result = pngexportcancelled;
}

static void exportkey(uint32_t event)
{
    const int scan = keyscan(event), c = keychar(event) | 0x20;
    if (scan == scanesc || scan == scanenter || scan == scankpenter || scan == scanspace || c == 'c')
        cancelexport(0);
}

static void exportmouse()
{
    const rect cancel = pngexportlayoutof(modal.width, modal.height).cancel;
    pressrelease(&cancel, 1, pngexport.pressed, cancelexport);
}

// One row of blocks, rendered and written.
static void exportstepframe()
{
    int more = exportstep(*pngexport.job);
    if (more <= 0)
        pngexport.result = more == 0 ? pngexportdone : pngexportfailed;
}

static void exportdraw()
{
    const pngexportlayout l = pngexportlayoutof(modal.width, modal.height);
    drawdialogframe(l.box, "Saving PNG");
    std::string text = fittext(screentext(pngexport.text), textcolumns, true);
    drawtext(l.box.x + margin, l.texty, dialogtext, transparent, text.c_str(), int(text.size()));
    drawwell(l.bar, false);
    const int filled = int(double(l.bar.w - 2) * exportprogress(*pngexport.job));
    fillrect(l.bar.x + 1, l.bar.y + 1, filled, l.bar.h - 2, dialoglit);
    const int hover = l.cancel.contains(cursor.mousex, cursor.mousey) ? 0 : -1;
    drawpushbutton(l.cancel, "Cancel", lit(0, pngexport.pressed, hover), true);
}

static int exportanswer()
{
    return pngexport.result;
}

// Work is waiting: the next frame at once.
static double exportdue()
{
    return modal.now;
}

const dialogkind pngexportdialog = {exportkey, exportmouse, exportdraw, exportanswer, exportdue, exportstepframe};

void showpngexport(exportjob &job, const std::string &name, const surfaceoptions &o, void (*then)(int answer))
{
    char size[64];
    std::snprintf(size, sizeof size, " (%d x %d%s)", o.side, o.side, o.tile ? ", seamless" : "");
    pngexport = {&job, name + size, -1, -1};
    opendialog(pngexportdialog, then);
}

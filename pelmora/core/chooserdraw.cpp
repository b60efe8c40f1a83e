// The built-in file chooser's layout and drawing. Every position is from
// the dialog's top left corner; the dialog is centred on the frame.
//
//   +--------------------------------------------------------------+
//   | Title                                                        |
//   | Look in:      [/home/user/textures/                   ] [Up] |
//   | +----------------------------------------------------------+ |
//   | | Name                              Size  Modified       |^| |
//   | | [] ..                                                  | | |
//   | | [] stone                                               |#| |
//   | | =  rock.tx                       1.2 KB  2024-05-01 ...| | |
//   | +----------------------------------------------------------+ |
//   | error line                                                   |
//   | File name:    [rock.tx                       ]  [   Open   ] |
//   | Files of type:[Texture script (.TX)        v ]  [  Cancel  ] |
//   +--------------------------------------------------------------+
#include "chooserdraw.h"
#include "chooser.h"
#include "cursor.h"
#include "draw.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <ctime>

constexpr int boxwidth = 584;
constexpr int fieldx = 100;                     // wells start after the longest label
constexpr int buttonwidth = 90;
constexpr int headerheight = 12;
constexpr int scrollwidth = 10;
constexpr int dropitemheight = 12;
constexpr uint32_t headerface = 0x282850;
constexpr uint32_t hoverface = 0x202048;
constexpr uint32_t foldercolour = 0xC0A050, filecolour = 0x8080A0;

chooserlayout chooserlayoutof(int width, int height)
{
    chooserlayout l;
    int rowsheight = choosershownrows * chooserrowheight;
    int listy = 48, listh = 1 + headerheight + rowsheight + 3;
    int messagey = listy + listh + 6, namey = messagey + 18, typey = namey + 20;
    int boxheight = typey + dialogbuttonheight + 12;
    int x = (width - boxwidth) / 2, y = (height - boxheight) / 2;
    int fieldw = boxwidth - fieldx - buttonwidth - 20;
    l.box = {x, y, boxwidth, boxheight};
    l.path = {x + fieldx, y + 26, boxwidth - fieldx - 62, dialogbuttonheight};
    l.up = {x + boxwidth - 52, y + 26, 42, dialogbuttonheight};
    l.list = {x + 10, y + listy, boxwidth - 20, listh};
    l.header = {l.list.x + 1, l.list.y + 1, l.list.w - 2 - scrollwidth, headerheight};
    l.rows = {l.list.x + 1, l.header.y + headerheight + 1, l.header.w, rowsheight};
    l.scroll = {l.list.x + l.list.w - 1 - scrollwidth, l.list.y + 1, scrollwidth, listh - 2};
    l.message = {x + 10, y + messagey, boxwidth - 20, 12};
    l.name = {x + fieldx, y + namey, fieldw, dialogbuttonheight};
    l.type = {x + fieldx, y + typey, fieldw, dialogbuttonheight};
    l.ok = {x + boxwidth - 10 - buttonwidth, y + namey, buttonwidth, dialogbuttonheight};
    l.cancel = {x + boxwidth - 10 - buttonwidth, y + typey, buttonwidth, dialogbuttonheight};
    l.drop = {l.type.x, l.type.y + l.type.h, l.type.w, chooser.filtercount * dropitemheight + 2};
    l.modifiedx = l.rows.x + l.rows.w - 6 - 16 * 6;
    l.sizeright = l.modifiedx - 18;
    l.namex = l.rows.x + 16;
    return l;
}

rect chooserthumb(const chooserlayout &l)
{
    int count = int(chooser.listing.entries.size());
    const rect &t = l.scroll;
    if (count <= choosershownrows)
        return t;
    int h = std::max(t.h * choosershownrows / count, 10);
    int hidden = count - choosershownrows;
    return {t.x, t.y + (t.h - h) * chooser.top / hidden, t.w, h};
}

static void text(int x, int y, uint32_t colour, const std::string &s)
{
    drawtext(x, y, colour, transparent, s.c_str(), int(s.size()));
}

static void rightaligned(int right, int y, uint32_t colour, const std::string &s)
{
    text(right - 6 * int(s.size()), y, colour, s);
}

static std::string sizetext(uint64_t size)
{
    static const char *const units[] = {"KB", "MB", "GB", "TB"};
    char out[32];
    if (size < 1024) {
        std::snprintf(out, sizeof out, "%" PRIu64 " B", size);
        return out;
    }
    double v = double(size) / 1024.0;
    int u = 0;
    while (v >= 1024.0 && u < 3) {
        v /= 1024.0;
        u++;
    }
    std::snprintf(out, sizeof out, "%.1f %s", v, units[u]);
    return out;
}

static std::string datetext(time_t t)
{
    struct tm local;
    char out[32];
    if (t == 0 || !localtime_r(&t, &local) || !std::strftime(out, sizeof out, "%Y-%m-%d %H:%M", &local))
        return "";
    return out;
}

static void drawfoldericon(int x, int y)
{
    fillrect(x, y + 1, 3, 1, foldercolour);
    fillrect(x, y + 2, 8, 5, foldercolour);
}

static void drawfileicon(int x, int y)
{
    drawbox(x + 1, y, 6, 8, filecolour, filecolour);
    fillrect(x + 3, y + 3, 2, 1, filecolour);
    fillrect(x + 3, y + 5, 2, 1, filecolour);
}

static void drawentry(const chooserlayout &l, int i, int y, bool hovered)
{
    const direntry &e = chooser.listing.entries[size_t(i)];
    bool selected = i == chooser.selected;
    if (selected)
        fillrect(l.rows.x, y, l.rows.w, chooserrowheight, chooser.focus == focuslist ? dialoglit : dialogbar);
    else if (hovered)
        fillrect(l.rows.x, y, l.rows.w, chooserrowheight, hoverface);
    if (e.folder)
        drawfoldericon(l.rows.x + 4, y + 1);
    else
        drawfileicon(l.rows.x + 4, y + 1);
    int namewidth = (l.sizeright - 9 * 6 - 6 - l.namex) / 6;
    text(l.namex, y + 1, selected ? 0xFFFFFF : dialogtext, fittext(screentext(e.name), namewidth));
    uint32_t dim = selected ? dialogtext : dialogdim;
    if (!e.folder)
        rightaligned(l.sizeright, y + 1, dim, sizetext(e.size));
    if (e.name != "..")
        text(l.modifiedx, y + 1, dim, datetext(e.modified));
}

static void drawscrollbar(const chooserlayout &l)
{
    fillrect(l.scroll.x, l.scroll.y, l.scroll.w, l.scroll.h, 0x101020);
    if (int(chooser.listing.entries.size()) <= choosershownrows)
        return;
    rect t = chooserthumb(l);
    bool lit = chooser.dragging || t.contains(cursor.mousex, cursor.mousey);
    fillrect(t.x + 1, t.y, t.w - 2, t.h, lit ? dialoglit : dialogbar);
}

static void drawlist(const chooserlayout &l)
{
    drawwell(l.list, chooser.focus == focuslist);
    fillrect(l.header.x, l.header.y, l.header.w, l.header.h, headerface);
    text(l.namex, l.header.y + 2, dialogtext, "Name");
    rightaligned(l.sizeright, l.header.y + 2, dialogtext, "Size");
    text(l.modifiedx, l.header.y + 2, dialogtext, "Modified");
    int count = int(chooser.listing.entries.size());
    bool inside = l.rows.contains(cursor.mousex, cursor.mousey) && !chooser.dropped && !chooser.asking;
    int hover = inside ? chooser.top + (cursor.mousey - l.rows.y) / chooserrowheight : -1;
    setclip(l.rows.x, l.rows.y, l.rows.x + l.rows.w, l.rows.y + l.rows.h);
    for (int r = 0; r < choosershownrows && chooser.top + r < count; r++)
        drawentry(l, chooser.top + r, l.rows.y + r * chooserrowheight, chooser.top + r == hover);
    setclip(0, 0, target.width, target.height);
    if (count == 0)
        text(l.namex, l.rows.y + 1, dialogdim, "(empty)");
    drawscrollbar(l);
}

static void drawfilter(const chooserlayout &l)
{
    drawwell(l.type, chooser.focus == focustype);
    int columns = (l.type.w - 20) / 6;
    std::string d = fittext(screentext(chooser.request.filters[chooser.filter].description), columns);
    bool focused = chooser.focus == focustype && !chooser.dropped;
    if (focused)
        fillrect(l.type.x + 3, l.type.y + 2, 6 * int(d.size()) + 2, 10, dialogtext);
    text(l.type.x + 4, l.type.y + 3, focused ? 0 : dialogtext, d);
    fillrect(l.type.x + l.type.w - 13, l.type.y + 1, 12, l.type.h - 2, dialogbar);
    text(l.type.x + l.type.w - 10, l.type.y + 3, dialogtext, "\x1F");
}

static void drawdrop(const chooserlayout &l)
{
    const rect &d = l.drop;
    fillrect(d.x + 3, d.y + 3, d.w, d.h, 0);
    drawwell(d, true);
    for (int i = 0; i < chooser.filtercount; i++) {
        int y = d.y + 1 + i * dropitemheight;
        if (i == chooser.dropitem)
            fillrect(d.x + 1, y, d.w - 2, dropitemheight, dialoglit);
        text(d.x + 4, y + 2, dialogtext, fittext(screentext(chooser.request.filters[i].description), (d.w - 8) / 6));
    }
}

static bool lit(const rect &r, int part)
{
    bool over = r.contains(cursor.mousex, cursor.mousey) && !chooser.dropped && !chooser.asking;
    return chooser.pressed >= 0 ? over && chooser.pressed == part : over;
}

void drawchooser(const chooserlayout &l, bool cursoron)
{
    drawdialogframe(l.box, chooser.request.title);
    int labelx = l.box.x + 10;
    text(labelx, l.path.y + 3, dialogtext, "Look in:");
    drawwell(l.path, false);
    text(l.path.x + 4, l.path.y + 3, dialogtext, fittext(screentext(chooser.listing.path), (l.path.w - 8) / 6, true));
    drawpushbutton(l.up, "Up", lit(l.up, partup), false);
    drawlist(l);
    if (!chooser.message.empty()) {
        fillrect(l.message.x, l.message.y, l.message.w, l.message.h, dialogerrorback);
        text(l.message.x + 4, l.message.y + 2, dialogerror, fittext(screentext(chooser.message), (l.message.w - 8) / 6));
    }
    text(labelx, l.name.y + 3, dialogtext, "File name:");
    drawwell(l.name, chooser.focus == focusname);
    drawfield(chooser.name, l.name.x + 4, l.name.y + 3, (l.name.w - 8) / 6, chooser.focus == focusname, cursoron);
    text(labelx, l.type.y + 3, dialogtext, "Files of type:");
    drawfilter(l);
    drawpushbutton(l.ok, chooser.request.save ? "Save" : "Open", lit(l.ok, partok), true);
    drawpushbutton(l.cancel, "Cancel", lit(l.cancel, partcancel), false);
    if (chooser.dropped)
        drawdrop(l);
    if (chooser.asking)
        drawmessage(chooser.question);
}

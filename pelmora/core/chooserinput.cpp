// The built-in file chooser's keys and mouse (the table in chooser.h).
#include "chooserinput.h"
#include "chooser.h"
#include "chooserdraw.h"
#include "cursor.h"
#include "input.h"
#include "keys.h"

#include <algorithm>

constexpr int wheelrows = 3;            // entries per wheel notch

// ---- keys --------------------------------------------------------------------

static void listkey(int scan)
{
    int s = chooser.selected, last = entrycount() - 1;
    switch (scan) {
    case scanup:
        s = s < 0 ? 0 : s - 1;
        break;
    case scandown:
        s = s < 0 ? 0 : s + 1;
        break;
    case scanpageup:
        s -= choosershownrows - 1;
        break;
    case scanpagedown:
        s = s < 0 ? choosershownrows - 1 : s + choosershownrows - 1;
        break;
    case scanhome:
        s = 0;
        break;
    default:
        s = last;
        break;
    }
    chooser.focus = focuslist;
    selectentry(s);
}

static void filterkey(int scan)
{
    switch (scan) {
    case scanup:
    case scanleft:
        setfilter(chooser.filter - 1);
        break;
    case scandown:
    case scanright:
        setfilter(chooser.filter + 1);
        break;
    case scanhome:
        setfilter(0);
        break;
    case scanend:
        setfilter(chooser.filtercount - 1);
        break;
    default:
        break;
    }
}

static void namekey(uint32_t event)
{
    int result = fieldkey(chooser.name, event);
    if (result == fieldfull)
        refusetoolong();
    else if (result == fieldchanged)
        chooser.message.clear();
}

// The filter's list, while open, takes the keys.
static void dropkey(int scan)
{
    switch (scan) {
    case scanup:
        chooser.dropitem = std::max(chooser.dropitem - 1, 0);
        break;
    case scandown:
        chooser.dropitem = std::min(chooser.dropitem + 1, chooser.filtercount - 1);
        break;
    case scanenter:
    case scankpenter:
    case scanspace:
        setfilter(chooser.dropitem);
        chooser.dropped = false;
        break;
    case scanesc:
    case scantab:
        chooser.dropped = false;
        break;
    default:
        break;
    }
}

static bool islistkey(int scan)
{
    return scan == scanup || scan == scandown || scan == scanpageup || scan == scanpagedown || scan == scanhome ||
           scan == scanend;
}

void chooserkey(uint32_t event)
{
    int scan = keyscan(event);
    int focus = chooser.focus;
    chooser.blink = modal.now + 1.0;
    if (chooser.asking) {
        messagekey(chooser.question, event);
        return;
    }
    if (chooser.dropped) {
        dropkey(scan);
        return;
    }
    if (scan == scanesc) {
        cancelchooser();
    } else if (scan == scanenter || scan == scankpenter) {
        confirmchooser();
    } else if (scan == scantab) {
        chooser.focus = (focus + (keyshift(event) ? focuscount - 1 : 1)) % focuscount;
    } else if (scan == scanup && (event & modalt)) {
        goup();
    } else if (scan == scanf5) {
        rereadfolder();
    } else if (focus == focustype && (islistkey(scan) || scan == scanleft || scan == scanright)) {
        filterkey(scan);
    } else if (focus == focustype && scan == scanspace) {
        chooser.dropped = true;
        chooser.dropitem = chooser.filter;
    } else if (focus == focusname && scan != scanup && scan != scandown && scan != scanpageup &&
               scan != scanpagedown) {
        namekey(event);
    } else if (islistkey(scan)) {
        listkey(scan);
    } else if (scan == scanbackspace) {
        goup();
    } else if (keychar(event) >= 32 && !(event & (modctrl | modalt))) {
        chooser.focus = focusname;
        namekey(event);
    }
}

// ---- mouse -------------------------------------------------------------------

static int partat(const chooserlayout &l, int x, int y)
{
    const struct {
        const rect *r;
        int part;
    } parts[] = {{&l.up, partup},     {&l.rows, partrows}, {&l.scroll, partscroll}, {&l.name, partname},
                 {&l.type, parttype}, {&l.ok, partok},     {&l.cancel, partcancel}};
    for (const auto &p : parts)
        if (p.r->contains(x, y))
            return p.part;
    return partnone;
}

// The entry under y in the rows, -1 below the last.
static int entryat(const chooserlayout &l, int y)
{
    int i = chooser.top + (y - l.rows.y) / chooserrowheight;
    return i < entrycount() ? i : -1;
}

static void scrollto(int top)
{
    chooser.top = std::clamp(top, 0, std::max(entrycount() - choosershownrows, 0));
}

static void pressrows(const chooserlayout &l, int y)
{
    chooser.focus = focuslist;
    int i = entryat(l, y);
    if (i < 0)
        return;
    bool twice = i == chooser.lastclick && modal.now - chooser.lastclicktime < doubleclicktime;
    selectentry(i);
    chooser.lastclick = twice ? -1 : i;
    chooser.lastclicktime = modal.now;
    if (twice)
        chooser.activate = i;
}

static void pressscroll(const chooserlayout &l, int y)
{
    rect thumb = chooserthumb(l);
    if (y < thumb.y) {
        scrollto(chooser.top - (choosershownrows - 1));
    } else if (y >= thumb.y + thumb.h) {
        scrollto(chooser.top + (choosershownrows - 1));
    } else {
        chooser.dragging = true;
        chooser.dragoffset = y - thumb.y;
    }
}

static void dragthumb(const chooserlayout &l, int y)
{
    rect thumb = chooserthumb(l);
    int travel = l.scroll.h - thumb.h, hidden = entrycount() - choosershownrows;
    if (travel <= 0 || hidden <= 0)
        return;
    int at = std::clamp(y - chooser.dragoffset - l.scroll.y, 0, travel);
    scrollto((at * hidden + travel / 2) / travel);
}

static void press(const chooserlayout &l, int x, int y)
{
    int part = partat(l, x, y);
    chooser.pressed = part;
    switch (part) {
    case partrows:
        pressrows(l, y);
        break;
    case partscroll:
        pressscroll(l, y);
        break;
    case partname:
        chooser.focus = focusname;
        fieldclick(chooser.name, x - (l.name.x + 4));
        chooser.blink = modal.now + 1.0;
        break;
    case parttype:
        chooser.focus = focustype;
        chooser.dropped = true;
        chooser.dropitem = chooser.filter;
        break;
    default:
        break;
    }
}

static void release(const chooserlayout &l, int x, int y)
{
    int part = partat(l, x, y);
    if (part == chooser.pressed) {
        if (part == partup)
            goup();
        else if (part == partok)
            confirmchooser();
        else if (part == partcancel)
            cancelchooser();
        else if (part == partrows && chooser.activate >= 0 && entryat(l, y) == chooser.activate)
            activateentry(chooser.activate);
    }
    chooser.pressed = partnone;
    chooser.dragging = false;
    chooser.activate = -1;
}

// The filter's list, while open, takes the mouse: a press on an entry
// chooses it, a press elsewhere only closes the list.
static void dropmouse(const chooserlayout &l, int x, int y)
{
    if (l.drop.contains(x, y))
        chooser.dropitem = std::clamp((y - l.drop.y - 1) / 12, 0, chooser.filtercount - 1);
    if (!modal.pressed)
        return;
    if (l.drop.contains(x, y))
        setfilter(chooser.dropitem);
    chooser.dropped = false;
    chooser.pressed = partnone;     // the press is used up
}

void choosermouse(const chooserlayout &l)
{
    int x = cursor.mousex, y = cursor.mousey;
    if (chooser.asking) {
        messagemouse(chooser.question);
        return;
    }
    int wheel = readwheel();
    if (wheel)
        scrollto(chooser.top - wheel * wheelrows);
    if (chooser.dropped && !(modal.pressed && l.type.contains(x, y))) {
        dropmouse(l, x, y);
        return;
    }
    if (modal.pressed) {
        if (chooser.dropped) {          // a second press on the filter closes its list
            chooser.dropped = false;
            chooser.pressed = partnone;
            return;
        }
        press(l, x, y);
    }
    if (modal.held && chooser.dragging)
        dragthumb(l, y);
    if (modal.released)
        release(l, x, y);
}

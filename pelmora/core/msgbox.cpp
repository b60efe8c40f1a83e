#include "msgbox.h"
#include "cursor.h"
#include "draw.h"
#include "keys.h"

#include <algorithm>

constexpr int messagebuttonwidth = 64, messagebuttongap = 12, messagemargin = 16, messagelineheight = 10;
constexpr int messageminwidth = 36;     // characters: room for the title and two buttons

constexpr int maxmessagebuttons = 3;

struct messagebutton {
    const char *label;
    int answer;
    char letter;                        // lower case; the key that presses it, 0 none
};

// The buttons of each kind, left to right, and the one focused at first.
// ESC presses the last.
static const struct {
    int count;
    messagebutton buttons[maxmessagebuttons];
    int focus;
} kinds[] = {
    /* messageok */ {1, {{"OK", answerok, 0}}, 0},
    /* messageyesno */ {2, {{"Yes", answeryes, 'y'}, {"No", answerno, 'n'}}, 1},
    /* messagesavediscard */
    {3, {{"Save", answersave, 's'}, {"Discard", answerdiscard, 'd'}, {"Cancel", answercancel, 'c'}}, 0},
};
static_assert(sizeof kinds / sizeof *kinds == messagekindcount, "a row for every kind of message box");

static int buttoncount(const messagebox &m)
{
    return kinds[m.kind].count;
}

static const messagebutton &buttonof(const messagebox &m, int i)
{
    return kinds[m.kind].buttons[i];
}

struct messagelayout {
    rect box;
    int textx, texty;
    rect buttons[maxmessagebuttons];
};

// Sized to its text and title, centred on the frame.
static messagelayout layout(const messagebox &m)
{
    int chars = std::max(messageminwidth, int(m.title.size()) + 4);
    for (const std::string &line : m.lines)
        chars = std::max(chars, int(line.size()));
    chars = std::min(chars, messagewidth + 4);
    messagelayout l;
    int w = 6 * chars + 2 * messagemargin;
    int h = dialogtitleheight + 14 + messagelineheight * int(m.lines.size()) + 12 + dialogbuttonheight + 12;
    l.box = {(modal.width - w) / 2, (modal.height - h) / 2, w, h};
    l.textx = l.box.x + messagemargin;
    l.texty = l.box.y + dialogtitleheight + 14;
    int n = buttoncount(m);
    int all = n * messagebuttonwidth + (n - 1) * messagebuttongap;
    int x = l.box.x + (w - all) / 2, y = l.box.y + h - 12 - dialogbuttonheight;
    for (int i = 0; i < n; i++)
        l.buttons[i] = {x + i * (messagebuttonwidth + messagebuttongap), y, messagebuttonwidth, dialogbuttonheight};
    return l;
}

// Breaks one line of screen text into lines of at most `width`.
static void wrapline(const std::string &text, int width, std::vector<std::string> &out)
{
    size_t at = 0;
    do {
        size_t rest = text.size() - at;
        if (rest <= size_t(width)) {
            out.push_back(text.substr(at));
            return;
        }
        size_t cut = text.rfind(' ', at + size_t(width));
        if (cut == std::string::npos || cut <= at) {
            out.push_back(text.substr(at, size_t(width)));
            at += size_t(width);
        } else {
            out.push_back(text.substr(at, cut - at));
            at = cut + 1;
        }
    } while (at < text.size());
}

std::vector<std::string> wraptext(const std::string &utf8, int width, int count)
{
    std::vector<std::string> lines;
    std::string text = screentext(utf8);
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        wrapline(text.substr(start, end == std::string::npos ? std::string::npos : end - start), width, lines);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (int(lines.size()) > count) {
        lines.resize(size_t(count));
        std::string &last = lines.back();
        last = last.substr(0, size_t(std::max(width - 3, 0))) + "...";
    }
    return lines;
}

void openmessage(messagebox &m, const char *title, const std::string &text, int kind, bool error)
{
    m.kind = kind;
    m.error = error;
    m.title = title;
    m.lines = wraptext(text, messagewidth, messagelines);
    m.focus = kinds[m.kind].focus;
    m.pressed = -1;
    m.result = -1;
}

static void answer(messagebox &m, int i)
{
    m.result = buttonof(m, i).answer;
}

// The button whose letter the key typed, -1 none.
static int letterbutton(const messagebox &m, int c)
{
    if (c >= 'A' && c <= 'Z')
        c += 'a' - 'A';
    for (int i = 0; i < buttoncount(m); i++)
        if (buttonof(m, i).letter && buttonof(m, i).letter == c)
            return i;
    return -1;
}

void messagekey(messagebox &m, uint32_t event)
{
    int scan = keyscan(event);
    int n = buttoncount(m);
    if (scan == scanenter || scan == scankpenter || scan == scanspace)
        answer(m, m.focus);
    else if (scan == scanesc)
        answer(m, n - 1);
    else if (scan == scanright || (scan == scantab && !keyshift(event)))
        m.focus = (m.focus + 1) % n;
    else if (scan == scanleft || scan == scantab)
        m.focus = (m.focus + n - 1) % n;
    else if (int i = letterbutton(m, keychar(event)); i >= 0)
        answer(m, i);
}

static int buttonat(const messagebox &m, const messagelayout &l, int x, int y)
{
    for (int i = 0; i < buttoncount(m); i++)
        if (l.buttons[i].contains(x, y))
            return i;
    return -1;
}

void messagemouse(messagebox &m)
{
    messagelayout l = layout(m);
    int at = buttonat(m, l, cursor.mousex, cursor.mousey);
    if (modal.pressed)
        m.pressed = at;
    if (modal.released) {
        if (at >= 0 && at == m.pressed)
            answer(m, at);
        m.pressed = -1;
    }
}

void drawmessage(const messagebox &m)
{
    messagelayout l = layout(m);
    drawdialogframe(l.box, m.title.c_str());
    int lines = int(m.lines.size());
    if (m.error)
        fillrect(l.textx - 6, l.texty - 5, l.box.w - 2 * (messagemargin - 6), lines * messagelineheight + 8,
                 dialogerrorback);
    for (int i = 0; i < lines; i++)
        drawtext(l.textx, l.texty + i * messagelineheight, m.error ? dialogerror : dialogtext, transparent,
                 m.lines[size_t(i)].c_str(), int(m.lines[size_t(i)].size()));
    int hover = buttonat(m, l, cursor.mousex, cursor.mousey);
    for (int i = 0; i < buttoncount(m); i++) {
        bool lit = m.pressed >= 0 ? (i == m.pressed && hover == i) : hover == i;
        drawpushbutton(l.buttons[i], buttonof(m, i).label, lit, i == m.focus);
    }
}

messagebox shownmessage = {messageok, false, "", {}, 0, -1, 0};

static void shownkey(uint32_t event)
{
    messagekey(shownmessage, event);
}

static void shownmouse()
{
    messagemouse(shownmessage);
}

static void showndraw()
{
    drawmessage(shownmessage);
}

static int shownanswer()
{
    return shownmessage.result;
}

const dialogkind messagedialog = {shownkey, shownmouse, showndraw, shownanswer, nullptr, nullptr};

void showmessage(const char *title, const std::string &text, int kind, bool error, void (*then)(int answer))
{
    openmessage(shownmessage, title, text, kind, error);
    opendialog(messagedialog, then);
}

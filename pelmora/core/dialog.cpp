#include "dialog.h"
#include "cp437.h"
#include "cursor.h"
#include "draw.h"
#include "input.h"
#include "keys.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

modalstate modal;

void resetmodal()
{
    modal = modalstate{};
}

void opendialog(const dialogkind &kind, void (*then)(int answer))
{
    modal.kind = &kind;
    modal.then = then;
    modal.fresh = true;
    modal.now = readtime();
    modal.pressed = modal.released = false;
    modal.held = (cursor.buttons & 1) != 0;
    readwheel();                        // turns before the dialog are not its own
}

bool dialogopen()
{
    return modal.kind != nullptr;
}

// This frame's keys, then its mouse, while the dialog has no answer.
static void takeinput()
{
    const dialogkind &k = *modal.kind;
    modal.held = (cursor.buttons & 1) != 0;
    modal.pressed = modal.held && !(cursor.previousbuttons & 1);
    modal.released = !modal.held && (cursor.previousbuttons & 1);
    while (uint32_t event = getkeyevent())
        if (k.answer() < 0)
            k.key(event);
    if (k.answer() < 0)
        k.mouse();
    if (k.answer() < 0 && k.step)
        k.step();
}

// A key that closed the dialog stays the dialog's: ESC held now does not
// close the designer, and the keys' repeats type nothing.
static void closedialog()
{
    int answer = modal.kind->answer();
    void (*then)(int) = modal.then;
    modal.kind = nullptr;
    modal.then = nullptr;
    readkeyboard();
    swallowheldkeys();
    input.keystatus[scanesc] = 0;
    if (then)
        then(answer);
}

static void dim(const framebuffer &f)
{
    for (int y = 0; y < f.height; y++) {
        auto *row = reinterpret_cast<uint32_t *>(reinterpret_cast<unsigned char *>(f.pixels) + ptrdiff_t(y) * f.pitch);
        for (int x = 0; x < f.width; x++)
            row[x] = row[x] >> 1 & 0x7F7F7F;
    }
}

void stepdialog(const framebuffer &f)
{
    if (!modal.kind)
        return;
    modal.width = f.width;
    modal.height = f.height;
    modal.now = readtime();
    if (!modal.fresh)
        takeinput();
    if (modal.kind->answer() >= 0)
        closedialog();
    if (!modal.kind)
        return;
    dim(f);
    modal.kind->draw();
    modal.fresh = false;
}

// ---- the shared look --------------------------------------------------------

void drawdialogframe(const rect &r, const char *title)
{
    fillrect(r.x + 4, r.y + 4, r.w, r.h, 0);                    // shadow
    fillrect(r.x, r.y, r.w, r.h, dialogface);
    drawbox(r.x, r.y, r.w, r.h, dialogbar, dialogbar);
    fillrect(r.x, r.y, r.w, dialogtitleheight, dialogbar);
    std::string t = fittext(screentext(title), (r.w - 16) / 6);
    drawtext(r.x + 8, r.y + 4, dialogtext, transparent, t.c_str(), int(t.size()));
}

void drawpushbutton(const rect &r, const char *label, bool lit, bool isdefault)
{
    fillrect(r.x, r.y, r.w, r.h, lit ? dialoglit : dialogbar);
    if (isdefault)
        drawbox(r.x - 1, r.y - 1, r.w + 2, r.h + 2, dialogtext, dialogtext);
    int n = int(std::strlen(label));
    drawtext(r.x + (r.w - 6 * n) / 2, r.y + (r.h - 8) / 2 + 1, dialogtext, transparent, label, n);
}

void drawwell(const rect &r, bool focused)
{
    fillrect(r.x, r.y, r.w, r.h, dialogwell);
    uint32_t c = focused ? dialoglit : dialogbar;
    drawbox(r.x, r.y, r.w, r.h, c, c);
}

// ---- text on the screen -----------------------------------------------------

std::string screentext(const std::string &utf8)
{
    std::string out;
    for (const char *p = utf8.c_str(); *p;) {
        int c = cp437ofcodepoint(nextcodepoint(p));
        out += c > 0 ? char(c) : '?';
    }
    return out;
}

int textcount(const std::string &utf8)
{
    int n = 0;
    for (const char *p = utf8.c_str(); *p; n++)
        nextcodepoint(p);
    return n;
}

std::string fittext(const std::string &text, int width, bool fromleft)
{
    if (int(text.size()) <= width)
        return text;
    if (width <= 3)
        return std::string(size_t(std::max(width, 0)), '.');
    if (fromleft)
        return "..." + text.substr(text.size() - size_t(width - 3));
    return text.substr(0, size_t(width - 3)) + "...";
}

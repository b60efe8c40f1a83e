#include "dialog.h"
#include "app.h"
#include "cp437.h"
#include "display.h"
#include "draw.h"
#include "input.h"
#include "keys.h"
#include "screen.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

modalstate modal;

static uint32_t *rowof(const framebuffer &f, int y)
{
    return reinterpret_cast<uint32_t *>(reinterpret_cast<unsigned char *>(f.pixels) + ptrdiff_t(y) * f.pitch);
}

// Copies a width x height image into the frame (what does not fit is cut,
// the rest of the frame is black).
static void paint(const framebuffer &f, const std::vector<uint32_t> &image, int width, int height)
{
    for (int y = 0; y < f.height; y++) {
        uint32_t *row = rowof(f, y);
        int n = y < height ? std::min(width, f.width) : 0;
        if (n > 0)
            std::memcpy(row, image.data() + size_t(y) * size_t(width), size_t(n) * 4);
        std::fill(row + n, row + f.width, 0u);
    }
}

void modalopen()
{
    const framebuffer &f = screen.frame;
    bool drawn = f.pixels != nullptr;
    modal.width = drawn ? f.width : app.width;
    modal.height = drawn ? f.height : app.height;
    size_t count = size_t(modal.width) * size_t(modal.height);
    modal.saved.assign(count, 0);
    if (drawn)
        for (int y = 0; y < f.height; y++)
            std::memcpy(modal.saved.data() + size_t(y) * size_t(f.width), rowof(f, y), size_t(f.width) * 4);
    modal.backdrop.resize(count);
    for (size_t i = 0; i < count; i++)
        modal.backdrop[i] = modal.saved[i] >> 1 & 0x7F7F7F;
    modal.open = 1;
    modal.now = readtime();
    modal.pressed = modal.released = false;
    modal.held = (screen.buttons & 1) != 0;
    readwheel();                        // turns before the dialog are not its own
}

int modalframe()
{
    if (!host.pump())
        return modalclosing;
    framebuffer f;
    if (!lockframe(f))
        return modalskipped;
    screen.frame = f;
    paint(f, modal.backdrop, modal.width, modal.height);
    setframe(f.pixels, f.pitch, f.width, f.height);
    modal.now = readtime();
    stepmouse();
    modal.held = (screen.buttons & 1) != 0;
    modal.pressed = modal.held && !(screen.previousbuttons & 1);
    modal.released = !modal.held && (screen.previousbuttons & 1);
    return modalready;
}

void modalpresent()
{
    drawcross(screen.mousex, screen.mousey);
    unlockframe();
    nextpage();
    readkeyboard();
}

void modalclose()
{
    readkeyboard();
    swallowheldkeys();
    input.keystatus[scanesc] = 0;
    framebuffer f;
    if (lockframe(f)) {
        screen.frame = f;
        paint(f, modal.saved, modal.width, modal.height);
        setframe(f.pixels, f.pitch, f.width, f.height);
    }
    modal.open = 0;
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

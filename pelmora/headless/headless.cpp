#include "headless.h"
#include "app.h"
#include "cursor.h"
#include "display.h"
#include "input.h"
#include "keys.h"
#include "platform.h"
#include "preview.h"
#include "random.h"
#include "screen.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

headlessstate headless;

constexpr double framestep = 1.0 / 60.0;
constexpr uint32_t reportinterval = 8;

static double fakeclock()
{
    return headless.now;
}

static int fakelock(framebuffer *fb)
{
    if (!headless.locking)
        return 0;
    *fb = {headless.pixels.data(), headless.width * 4, headless.width, headless.height};
    return 1;
}

static void fakepresent(const framebuffer &)
{
    headless.presents++;
}

static void fakeclose()
{
    headless.closes++;
}

static void fakerelease(int x, int y)
{
    headless.releases++;
    headless.releasex = x;
    headless.releasey = y;
}

static char *fakegetclip()
{
    if (!headless.hasclipboard)
        return nullptr;
    char *text = static_cast<char *>(std::malloc(headless.clipboard.size() + 1));
    if (text)
        std::memcpy(text, headless.clipboard.c_str(), headless.clipboard.size() + 1);
    return text;
}

static void fakesetclip(const char *text)
{
    headless.clipboard = text;
    headless.hasclipboard = true;
}

void headlessstart(bool fullscreen, bool smoothing)
{
    headless = headlessstate{};
    headless.fullscreen = fullscreen;
    headless.step = framestep;
    headless.locking = true;
    headless.reporttime = 1000;
    host = {fakeclock, fakelock, fakepresent, fakeclose, fullscreen ? nullptr : fakerelease, fakegetclip, fakesetclip, nullptr};
    resetlibraryrand();
    resetpreview();
    resetdisplay();
    resetinput(headless.now);
    input.smoothing = smoothing;
    char word[] = "fullscreen", exe[] = "exe";
    char *argv[] = {exe, word, nullptr};
    initapp(fullscreen ? 2 : 1, argv);
    headless.width = app.width;
    headless.height = app.height;
    headless.pixels.assign(size_t(app.width) * size_t(app.height), 0);
}

void headlessframe()
{
    inputendpump();
    headless.now += headless.step;
    headless.locking = headless.lockfailures == 0;
    if (headless.lockfailures > 0)
        headless.lockfailures--;
    doframe();
}

void headlessframes(int n)
{
    for (int i = 0; i < n; i++)
        headlessframe();
}

void presskey(int scan, int character, uint32_t modifiers)
{
    for (const auto &m : modifierkeys)
        if (modifiers & m.bit)
            inputkeydown(m.scan, 0);
    inputkeydown(scan, 0);
    if (character)
        inputtext(character);
    inputkeyup(scan);
    for (const auto &m : modifierkeys)
        if (modifiers & m.bit)
            inputkeyup(m.scan);
}

void movemouse(int dx, int dy)
{
    inputmotion(dx, dy, headless.reporttime);
    headless.reporttime += reportinterval;
}

void moveto(int x, int y)
{
    movemouse(x - int(std::lrint(cursor.x)), y - int(std::lrint(cursor.y)));
}

void setbutton(int k, bool down)
{
    inputbutton(k, down, headless.reporttime);
    headless.reporttime += reportinterval;
}

// Set-1 scan bytes of the keys a typed text uses.
static int scanofchar(char c)
{
    static const char *const rows[] = {"1234567890-=", "qwertyuiop[]", "asdfghjkl;'`", "zxcvbnm,./"};
    static const int firsts[] = {0x02, 0x10, 0x1E, 0x2C};
    char lower = char(std::tolower(static_cast<unsigned char>(c)));
    if (c == ' ')
        return scanspace;
    for (int r = 0; r < 4; r++)
        if (const char *at = std::strchr(rows[r], lower); at && lower)
            return firsts[r] + int(at - rows[r]);
    return 0;
}

void typetext(const std::string &text)
{
    for (char c : text) {
        int scan = scanofchar(c);
        if (scan) {
            presskey(scan, static_cast<unsigned char>(c));
        } else {
            inputkeydown(0x7F, 0);      // a key the designer does not name
            inputtext(static_cast<unsigned char>(c));
            inputkeyup(0x7F);
        }
    }
}

std::vector<uint32_t> framepixels()
{
    return headless.pixels;
}

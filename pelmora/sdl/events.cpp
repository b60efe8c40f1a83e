// SDL events into the core: keys as PC set-1 scan bytes, typed text as code
// page 437 characters, relative mouse motion and buttons with SDL's
// timestamps, activation and close.
#include "cp437.h"
#include "input.h"
#include "screen.h"
#include "sdlplatform.h"

#include <algorithm>
#include <cmath>

// SDL scancode -> set-1 scan byte; 0x80 added for the extended (E0) keys.
static const struct {
    SDL_Scancode code;
    int scan;
} scantable[] = {
    {SDL_SCANCODE_ESCAPE, 0x01}, {SDL_SCANCODE_1, 0x02}, {SDL_SCANCODE_2, 0x03}, {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05}, {SDL_SCANCODE_5, 0x06}, {SDL_SCANCODE_6, 0x07}, {SDL_SCANCODE_7, 0x08},
    {SDL_SCANCODE_8, 0x09}, {SDL_SCANCODE_9, 0x0A}, {SDL_SCANCODE_0, 0x0B}, {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D}, {SDL_SCANCODE_BACKSPACE, 0x0E}, {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10}, {SDL_SCANCODE_W, 0x11}, {SDL_SCANCODE_E, 0x12}, {SDL_SCANCODE_R, 0x13},
    {SDL_SCANCODE_T, 0x14}, {SDL_SCANCODE_Y, 0x15}, {SDL_SCANCODE_U, 0x16}, {SDL_SCANCODE_I, 0x17},
    {SDL_SCANCODE_O, 0x18}, {SDL_SCANCODE_P, 0x19}, {SDL_SCANCODE_LEFTBRACKET, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B}, {SDL_SCANCODE_RETURN, 0x1C}, {SDL_SCANCODE_LCTRL, 0x1D},
    {SDL_SCANCODE_A, 0x1E}, {SDL_SCANCODE_S, 0x1F}, {SDL_SCANCODE_D, 0x20}, {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22}, {SDL_SCANCODE_H, 0x23}, {SDL_SCANCODE_J, 0x24}, {SDL_SCANCODE_K, 0x25},
    {SDL_SCANCODE_L, 0x26}, {SDL_SCANCODE_SEMICOLON, 0x27}, {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29}, {SDL_SCANCODE_LSHIFT, 0x2A}, {SDL_SCANCODE_BACKSLASH, 0x2B},
    {SDL_SCANCODE_NONUSHASH, 0x2B}, {SDL_SCANCODE_Z, 0x2C}, {SDL_SCANCODE_X, 0x2D}, {SDL_SCANCODE_C, 0x2E},
    {SDL_SCANCODE_V, 0x2F}, {SDL_SCANCODE_B, 0x30}, {SDL_SCANCODE_N, 0x31}, {SDL_SCANCODE_M, 0x32},
    {SDL_SCANCODE_COMMA, 0x33}, {SDL_SCANCODE_PERIOD, 0x34}, {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_RSHIFT, 0x36}, {SDL_SCANCODE_KP_MULTIPLY, 0x37}, {SDL_SCANCODE_LALT, 0x38},
    {SDL_SCANCODE_SPACE, 0x39}, {SDL_SCANCODE_CAPSLOCK, 0x3A}, {SDL_SCANCODE_F1, 0x3B}, {SDL_SCANCODE_F2, 0x3C},
    {SDL_SCANCODE_F3, 0x3D}, {SDL_SCANCODE_F4, 0x3E}, {SDL_SCANCODE_F5, 0x3F}, {SDL_SCANCODE_F6, 0x40},
    {SDL_SCANCODE_F7, 0x41}, {SDL_SCANCODE_F8, 0x42}, {SDL_SCANCODE_F9, 0x43}, {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45}, {SDL_SCANCODE_SCROLLLOCK, 0x46}, {SDL_SCANCODE_KP_7, 0x47},
    {SDL_SCANCODE_KP_8, 0x48}, {SDL_SCANCODE_KP_9, 0x49}, {SDL_SCANCODE_KP_MINUS, 0x4A},
    {SDL_SCANCODE_KP_4, 0x4B}, {SDL_SCANCODE_KP_5, 0x4C}, {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_PLUS, 0x4E}, {SDL_SCANCODE_KP_1, 0x4F}, {SDL_SCANCODE_KP_2, 0x50},
    {SDL_SCANCODE_KP_3, 0x51}, {SDL_SCANCODE_KP_0, 0x52}, {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56}, {SDL_SCANCODE_F11, 0x57}, {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_INTERNATIONAL1, 0x73}, {SDL_SCANCODE_INTERNATIONAL3, 0x7D}, {SDL_SCANCODE_KP_EQUALS, 0x8D},
    {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_RCTRL, 0x9D}, {SDL_SCANCODE_KP_DIVIDE, 0xB5},
    {SDL_SCANCODE_PRINTSCREEN, 0xB7}, {SDL_SCANCODE_RALT, 0xB8}, {SDL_SCANCODE_PAUSE, 0xC5},
    {SDL_SCANCODE_HOME, 0xC7}, {SDL_SCANCODE_UP, 0xC8}, {SDL_SCANCODE_PAGEUP, 0xC9}, {SDL_SCANCODE_LEFT, 0xCB},
    {SDL_SCANCODE_RIGHT, 0xCD}, {SDL_SCANCODE_END, 0xCF}, {SDL_SCANCODE_DOWN, 0xD0},
    {SDL_SCANCODE_PAGEDOWN, 0xD1}, {SDL_SCANCODE_INSERT, 0xD2}, {SDL_SCANCODE_DELETE, 0xD3},
    {SDL_SCANCODE_LGUI, 0xDB}, {SDL_SCANCODE_RGUI, 0xDC}, {SDL_SCANCODE_APPLICATION, 0xDD},
};

int scanbyteof(SDL_Scancode code)
{
    for (const auto &k : scantable)
        if (k.code == code)
            return k.scan;
    return 0;
}

// SDL mouse buttons -> button numbers of the mouse mask.
static int buttonof(Uint8 button)
{
    switch (button) {
    case SDL_BUTTON_LEFT:
        return 0;
    case SDL_BUTTON_RIGHT:
        return 1;
    case SDL_BUTTON_MIDDLE:
        return 2;
    case SDL_BUTTON_X1:
        return 3;
    default:
        return -1;
    }
}

// The window's close button or the desktop (SDL_QUIT comes for SIGINT and
// SIGTERM too): the designer asks about unsaved work first.
static void closewindow()
{
    sdl.quitasked = 1;
    askclose();
}

static void windowevent(const SDL_WindowEvent &w)
{
    switch (w.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_RESTORED:
        inputactivate(1);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
    case SDL_WINDOWEVENT_MINIMIZED:
    case SDL_WINDOWEVENT_HIDDEN:
        inputactivate(0);
        break;
    case SDL_WINDOWEVENT_CLOSE:
        closewindow();
        break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        inputwake();
        break;
    default:
        break;
    }
}

static void textevent(const char *text)
{
    for (const char *p = text; *p;) {
        int c = cp437ofcodepoint(nextcodepoint(p));
        if (c > 0)
            inputtext(c);
    }
}

// While the system cursor has the mouse: it is taken back when the cursor
// moves inside the window anywhere but the spot it was put on.
static void motionevent(const SDL_MouseMotionEvent &m)
{
    if (!sdl.released) {
        inputmotion(m.xrel, m.yrel, m.timestamp);
        return;
    }
    bool inside = m.x >= 0 && m.y >= 0 && m.x < sdl.width && m.y < sdl.height;
    if (!inside || (m.x == sdl.warpx && m.y == sdl.warpy))
        return;
    if (inputreenter(m.x, m.y)) {
        sdl.released = 0;
        SDL_SetRelativeMouseMode(SDL_TRUE);
    }
}

static void handle(const SDL_Event &e)
{
    switch (e.type) {
    case SDL_QUIT:
        closewindow();
        break;
    case SDL_WINDOWEVENT:
        windowevent(e.window);
        break;
    case SDL_KEYDOWN:
        if (int scan = scanbyteof(e.key.keysym.scancode))
            inputkeydown(scan, e.key.repeat);
        break;
    case SDL_KEYUP:
        if (int scan = scanbyteof(e.key.keysym.scancode))
            inputkeyup(scan);
        break;
    case SDL_TEXTINPUT:
        textevent(e.text.text);
        break;
    case SDL_MOUSEMOTION:
        motionevent(e.motion);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (!sdl.released)
            inputbutton(buttonof(e.button.button), e.type == SDL_MOUSEBUTTONDOWN, e.button.timestamp);
        break;
    case SDL_MOUSEWHEEL:
        inputwheel(e.wheel.y);
        break;
    default:
        break;
    }
}

void pumpevents()
{
    SDL_Event e;
    while (SDL_PollEvent(&e))
        handle(e);
    inputendpump();
}

void waitevents(double seconds)
{
    SDL_WaitEventTimeout(nullptr, int(std::ceil(std::min(seconds, 10.0) * 1000.0)));
}

int pumpwindowevents()
{
    SDL_Event e;
    int redraw = 0;
    while (SDL_PollEvent(&e)) {
        if (e.type == SDL_QUIT) {
            closewindow();
        } else if (e.type == SDL_WINDOWEVENT) {
            windowevent(e.window);
            redraw = 1;
        }
    }
    return redraw;
}

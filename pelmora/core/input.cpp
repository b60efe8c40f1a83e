#include "input.h"
#include "keys.h"
#include "platform.h"

#include <algorithm>
#include <cstring>

inputstate input;

static uint32_t modifierof(int scan)
{
    for (const auto &m : modifierkeys)
        if (m.scan == scan)
            return m.bit;
    return 0;
}

static bool keyboardacquired()
{
    return input.active && input.wantkeyboard;
}

static bool mouseacquired()
{
    return input.active && input.wantmouse;
}

static void resetsmoothing(double now)
{
    input.interval = 1.0f;
    input.intervalsum = 0;
    input.intervalcount = 0;
    input.backlog = 0.0f;
    input.residualx = input.residualy = 0.0f;
    input.last = -1;
    for (int64_t &t : input.history)
        t = -1;
    input.previousread = now;
}

void inputmousestart(double now)
{
    input.buttons = 0;
    input.mousecount = 0;
    input.overflow = 0;
    resetsmoothing(now);
}

void resetinput(double now)
{
    std::memset(&input, 0, sizeof input);
    input.active = 1;
    input.wantmouse = input.wantkeyboard = 1;
    input.smoothing = 1;
    resetsmoothing(now);
}

// Acquiring the mouse starts it clean: no buffered elements and no button
// held. Acquiring the keyboard clears the modifier bits; its buffer keeps
// the key releases the platform sent before deactivating, so that no key
// stays down in keystatus.
static void updatemouse()
{
    input.mousecount = 0;
    input.overflow = 0;
    if (mouseacquired())
        input.buttons = 0;
}

static void updatekeyboard()
{
    if (keyboardacquired())
        input.modifiers = 0;
}

// ---- keyboard ---------------------------------------------------------------

static void pushkeyelement(int scan, int down)
{
    if (!keyboardacquired() || input.keycount == devicebuffersize)
        return;
    input.keys[input.keycount++] = {scan, down, 0};
}

static void appendevent(uint32_t event)
{
    int next = (input.write + 1) % keyqueuesize;
    if (next == input.read)
        return;                     // full: the event is dropped
    input.queue[input.write] = event;
    input.write = next;
}

void inputkeydown(int scanbyte, int repeat)
{
    scanbyte &= 0xFF;
    input.droptext = 0;
    if (!repeat) {
        pushkeyelement(scanbyte, 1);
        input.swallowed[scanbyte] = 0;
    }
    if (uint32_t bit = modifierof(scanbyte)) {
        input.modifiers |= bit;
        return;
    }
    if (repeat && input.swallowed[scanbyte]) {
        input.droptext = 1;
        return;
    }
    appendevent(makekey(scanbyte, 0, input.modifiers));
}

void swallowheldkeys()
{
    for (int k = 0; k < 256; k++)
        input.swallowed[k] = input.keystatus[k];
}

void inputkeyup(int scanbyte)
{
    scanbyte &= 0xFF;
    input.swallowed[scanbyte] = 0;
    pushkeyelement(scanbyte, 0);
    input.modifiers &= ~modifierof(scanbyte);
}

void inputtext(int character)
{
    if (input.droptext) {
        input.droptext = 0;
        return;
    }
    if (input.read == input.write)
        return;
    input.queue[(input.write + keyqueuesize - 1) % keyqueuesize] |= uint32_t(character & 0xFF);
}

void inputendpump()
{
    input.visible = input.write;
}

uint32_t getkeyevent()
{
    if (input.read == input.visible)
        return 0;
    uint32_t event = input.queue[input.read];
    input.read = (input.read + 1) % keyqueuesize;
    return event;
}

void readkeyboard()
{
    for (int i = 0; i < input.keycount; i++) {
        const deviceelement &e = input.keys[i];
        input.keystatus[e.what] = e.value ? 1 : 0;
        input.keyhit[e.what] = e.value ? 3 : input.keyhit[e.what] & ~1;
    }
    input.keycount = 0;
}

// ---- mouse ------------------------------------------------------------------

static void pushmouseelement(int what, int value, uint32_t time)
{
    if (!mouseacquired())
        return;
    if (input.mousecount == devicebuffersize) {
        input.overflow = 1;
        return;
    }
    input.mouse[input.mousecount++] = {what, value, time};
}

void inputmotion(int dx, int dy, uint32_t time)
{
    if (dx)
        pushmouseelement(elementx, dx, time);
    if (dy)
        pushmouseelement(elementy, dy, time);
}

void inputbutton(int k, int down, uint32_t time)
{
    if (k >= 0 && k < mousebuttoncount)
        pushmouseelement(elementbutton0 + k, down ? 1 : 0, time);
}

void inputwheel(int delta)
{
    if (mouseacquired())
        input.wheelsteps = std::clamp(input.wheelsteps + std::clamp(delta, -1000, 1000), -1000, 1000);
    if (delta > 0)
        input.wheelup = 2;
    else if (delta < 0)
        input.wheeldown = 2;
}

int readwheel()
{
    int steps = input.wheelsteps;
    input.wheelsteps = 0;
    return steps;
}

// Applies one element; returns whether it was a button.
static bool applyelement(const deviceelement &e, int &dx, int &dy)
{
    switch (e.what) {
    case elementx:
        dx += e.value;
        return false;
    case elementy:
        dy += e.value;
        return false;
    default: {
        int k = e.what - elementbutton0;
        if (e.value)
            input.buttons |= 1 << k;
        else
            input.buttons &= ~(1 << k);
        input.buttonflags[k] = e.value ? 3 : input.buttonflags[k] & ~1;
        return true;
    }
    }
}

// Whether e changes a button that changed already in this read (bit k of
// `changed`); notes a change it makes.
static bool changesagain(const deviceelement &e, int &changed)
{
    if (e.what < elementbutton0)
        return false;
    int bit = 1 << (e.what - elementbutton0);
    if (bool(input.buttons & bit) == bool(e.value))
        return false;
    if (changed & bit)
        return true;
    changed |= bit;
    return false;
}

// A report timed e: when the three intervals before it are even (the
// largest at most twice the smallest), they join the average.
static void timereport(int64_t e)
{
    int64_t d = input.history[0], t1 = input.history[1], t2 = input.history[2];
    if (d < 0 || t1 < 0 || t2 < 0)
        return;
    int64_t a = e - d, b = d - t1, c = t1 - t2;
    if (2 * std::min({a, b, c}) < std::max({a, b, c}))
        return;
    input.intervalsum += int(e - t2);
    input.intervalcount += 3;
    input.interval = float(input.intervalsum) / float(input.intervalcount);
}

mousereading readmouse()
{
    double now = readtime();
    if (!mouseacquired()) {
        input.previousread = now;
        return {0.0f, 0.0f, 0};
    }
    if (input.overflow)
        input.last = -1;
    input.overflow = 0;

    // Elements with the same time form one report. A button changes at
    // most once per read: a press released before the frame read it (a
    // short click) is a press in this frame and a release in the next, so
    // the read stops at the element that would change a button again and
    // leaves it and the rest for the next read.
    int dx = 0, dy = 0, reports = 0, changed = 0, stop = input.mousecount;
    for (int i = 0, j; i < stop; i = j) {
        uint32_t time = input.mouse[i].time;
        input.history[2] = input.history[1];
        input.history[1] = input.history[0];
        input.history[0] = input.last;
        bool button = false;
        for (j = i; j < stop && input.mouse[j].time == time; j++) {
            if (changesagain(input.mouse[j], changed)) {
                stop = j;
                break;
            }
            button |= applyelement(input.mouse[j], dx, dy);
        }
        int64_t e = button ? -1 : int64_t(time);
        if (e >= 0) {
            reports++;
            timereport(e);
        }
        input.last = e;
    }
    input.mousecount -= stop;
    std::memmove(input.mouse, input.mouse + stop, size_t(input.mousecount) * sizeof *input.mouse);

    float frame = float((now - input.previousread) * 1000.0);
    input.previousread = now;
    if (input.intervalcount == 0 || !input.smoothing)
        return {float(dx), float(dy), input.buttons};

    // Deliver the motion over the time the mouse took to report it: this
    // frame gets the share its length is of that time, the rest waits.
    float budget = std::min(input.backlog + float(reports) * input.interval, input.interval + frame);
    float fraction = 1.0f;
    if (frame >= budget) {
        input.backlog = 0.0f;
    } else {
        fraction = frame / budget;
        input.backlog = budget - frame;
    }
    input.residualx += float(dx);
    input.residualy += float(dy);
    float outx = fraction * input.residualx, outy = fraction * input.residualy;
    input.residualx -= outx;
    input.residualy -= outy;
    return {outx, outy, input.buttons};
}

// ---- activation and the mouse hand-over ------------------------------------

void inputactivate(int active)
{
    input.active = active ? 1 : 0;
    input.woken = 1;
    input.modifiers = 0;
    updatemouse();
    updatekeyboard();
}

void releasemouse(void (*callback)(int x, int y), int x, int y)
{
    if (!host.releasemouse)
        return;                     // full screen keeps the mouse
    input.reenter = callback;
    input.wantmouse = 0;
    updatemouse();
    host.releasemouse(x, y);
}

int inputreenter(int x, int y)
{
    if (!input.active || !input.reenter)
        return 0;
    void (*callback)(int, int) = input.reenter;
    input.reenter = nullptr;
    input.wantmouse = 1;
    updatemouse();
    callback(x, y);
    input.woken = 1;
    return 1;
}

void inputwake()
{
    input.woken = 1;
}

bool inputpending()
{
    return input.read != input.visible || input.keycount > 0 || input.mousecount > 0 || input.wheelsteps != 0 ||
           input.residualx != 0.0f || input.residualy != 0.0f || input.woken;
}

void inputtaken()
{
    input.woken = 0;
}

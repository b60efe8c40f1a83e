// The input layer: key events, keys held down, and the mouse.
//
// The platform pushes what happened through the input...() functions; the
// screen reads once per frame with readkeyboard, readmouse and getkeyevent.
//
//   key events     a ring of 256 words; a full ring drops new events; the
//                  events of one pump become readable together when the
//                  platform ends the pump (the visible end)
//   keystatus      1 while a key is down, by scan byte
//   keyhit         3 when a key goes down, bit 0 cleared when it goes up
//   mouse          relative motion and buttons in a 64-element buffer,
//                  drained by readmouse, which spreads bursts of motion over
//                  the time the mouse took to report them
//
// The keyboard and the mouse behave like devices that are "acquired" only
// while the program is active and wants them: nothing reaches their
// buffers otherwise.
#pragma once
#include <cstdint>

constexpr int keyqueuesize = 256;
constexpr int devicebuffersize = 64;    // elements a device keeps between two reads
constexpr int mousebuttoncount = 4;

// One element of a device buffer. Keyboard: key = scan byte, down 0/1.
// Mouse: what = axis or button, value = motion or 0/1, time in ms.
enum mouseelement { elementx, elementy, elementbutton0 };

struct deviceelement {
    int what;
    int value;
    uint32_t time;
};

struct inputstate {
    // Key events.
    uint32_t queue[keyqueuesize];
    int write, read, visible;           // modulo keyqueuesize
    uint32_t modifiers;                 // modifier bits now (keys.h)
    uint8_t swallowed[256];             // held since a dialog took their press
    int droptext;                       // the next character belongs to a swallowed repeat

    // Keyboard device.
    uint8_t keystatus[256];
    uint8_t keyhit[256];
    deviceelement keys[devicebuffersize];
    int keycount;

    // Mouse device.
    deviceelement mouse[devicebuffersize];
    int mousecount;
    int overflow;                       // elements were lost since the last read
    int buttons;                        // bit k while button k is down
    uint8_t buttonflags[mousebuttoncount];  // 3 on press, bit 0 cleared on release
    uint8_t wheelup, wheeldown;         // 2 after a wheel turn
    int wheelsteps;                     // notches turned since readwheel, away from the user positive

    // Smoothing.
    int smoothing;                      // on at start
    float interval;                     // average report interval, ms
    int intervalsum, intervalcount;
    float backlog;                      // ms of motion still owed
    float residualx, residualy;         // motion not yet delivered
    int64_t last;                       // time of the last report, -1 unknown
    int64_t history[3];                 // the three report times before it, newest first
    double previousread;                // clock at the last readmouse, seconds

    // Activation and the mouse hand-over of windowed mode.
    int active;
    int wantmouse, wantkeyboard;
    void (*reenter)(int x, int y);      // armed by releasemouse

    int woken;                          // the platform asked for a frame (activation, exposure)
};

extern inputstate input;

// Start-up state: empty queue and buffers, key tables cleared, both devices
// wanted, active, smoothing on and reset, previous read = now.
void resetinput(double now);

// The mouse starts (or starts again): empty buffer, no button held, the
// smoothing reset, previous read = now.
void inputmousestart(double now);

// ---- pushed by the platform -------------------------------------------------

// A key went down. Modifier keys set their bit and make no event; other
// keys append an event with the modifier bits. A repeat (the key is held)
// appends an event but is not a device change.
void inputkeydown(int scanbyte, int repeat);
// A key went up: modifier keys clear their bit.
void inputkeyup(int scanbyte);
// A dialog that closes keeps the keys held now: their repeats (and the
// characters that come with them) make no events until they are released,
// so ESC or Enter held after a dialog does not act on the designer too.
void swallowheldkeys();
// A typed character (code page 437), ORed into the newest unread event.
void inputtext(int character);
// Everything of this pump is in: the queued events become readable.
void inputendpump();
// Relative mouse motion reported at `time` ms.
void inputmotion(int dx, int dy, uint32_t time);
// Mouse button k (0 left, 1 right, 2 middle, 3) went down or up. A press
// and its release read in one frame count as a press in that frame and a
// release in the next (readmouse).
void inputbutton(int k, int down, uint32_t time);
// The wheel turned (positive: away from the user).
void inputwheel(int delta);
// The program became active or inactive.
void inputactivate(int active);
// The system cursor came back into the window at client (x, y), after a
// releasemouse. Returns 1 when the mouse was taken back (the platform then
// hides the system cursor again), 0 when nothing was waiting for it.
int inputreenter(int x, int y);

// The window must be drawn again (it was exposed or resized) although no
// input came.
void inputwake();

// ---- read by the screen -----------------------------------------------------

// Whether anything came that the next frame reads: readable key events,
// key or mouse elements, wheel turns, motion still owed by the smoothing,
// or a wake (activation, the mouse taken back, inputwake).
bool inputpending();
// The frame has started: the wake is taken.
void inputtaken();

// Next readable key event, or 0.
uint32_t getkeyevent();
// Drains the keyboard buffer into keystatus and keyhit.
void readkeyboard();

struct mousereading {
    float dx, dy;       // pixels
    int buttons;        // bit k while button k is down
};
mousereading readmouse();

// Wheel notches turned since the last call (positive: away from the user,
// which scrolls a list up); only while the mouse is acquired.
int readwheel();

// Windowed mode: hand the mouse to the system cursor at client (x, y); when
// it comes back, callback(x, y) runs. Does nothing in full screen.
void releasemouse(void (*callback)(int x, int y), int x, int y);

inline const uint8_t *keystatus() { return input.keystatus; }
inline const uint8_t *keyhit() { return input.keyhit; }

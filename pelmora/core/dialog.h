// Modal dialogs: the file chooser and the message boxes run frames of their
// own inside one frame of the designer, and share one look.
//
// A dialog's loop:
//     modalopen();                        the designer's frame is kept
//     while (running) {
//         int f = modalframe();           pump, lock, backdrop, mouse
//         if (f == modalclosing) break;   the program is closing: cancel
//         if (f == modalskipped) continue;
//         ...keys (getkeyevent), mouse (screen.mousex, modal.pressed)...
//         ...draw...
//         modalpresent();                 cursor, present, keyboard
//     }
//     modalclose();                       the designer's frame is back
//
// The designer's frame, dimmed, is the backdrop of every dialog frame, and
// it is put back undimmed when the dialog closes, so no presented frame
// shows half a dialog. The designer's cursor moves as on the screen.
#pragma once
#include "platform.h"

#include <cstdint>
#include <string>
#include <vector>

// The dialogs' colours: the designer's bars and texts, its compile-error line.
constexpr uint32_t dialogbar = 0x404080;
constexpr uint32_t dialoglit = 0x4060C0;
constexpr uint32_t dialogtext = 0xC0C0C0;
constexpr uint32_t dialogdim = 0x909090;        // secondary texts (sizes, dates)
constexpr uint32_t dialogface = 0x181830;       // the dialog's body
constexpr uint32_t dialogwell = 0x000000;       // lists and fields
constexpr uint32_t dialogerror = 0xFF4040;
constexpr uint32_t dialogerrorback = 0x601010;

constexpr int dialogtitleheight = 16;
constexpr int dialogbuttonheight = 14;
constexpr double doubleclicktime = 0.5;         // seconds between the presses of a double click

struct modalstate {
    std::vector<uint32_t> saved;        // the designer's frame, given back at the end
    std::vector<uint32_t> backdrop;     // the same dimmed, behind every dialog frame
    int width, height;
    int open;                           // a dialog is running
    double now;                         // readtime of this dialog frame
    bool pressed, released;             // the left button went down / up this frame
    bool held;                          // the left button is down
};

extern modalstate modal;

enum modalframeresult { modalclosing, modalskipped, modalready };

// Keeps the designer's frame (drawn as far as it is) and starts a dialog.
void modalopen();
// One dialog frame up to its drawing: pumps the platform (host.pump), locks
// the frame, paints the backdrop, moves the cursor. modalclosing when the
// program is closing (the dialog is then cancelled); modalskipped when no
// frame could be locked (no input was read).
int modalframe();
// Draws the cursor, presents the frame and reads the keyboard.
void modalpresent();
// Puts the designer's frame back and lets its frame go on. A key that
// closed the dialog stays the dialog's: ESC held now does not close the
// designer.
void modalclose();

// ---- the shared look --------------------------------------------------------

struct rect {
    int x, y, w, h;
    bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// The dialog's frame: shadow, body, outline and title bar with its title.
void drawdialogframe(const rect &r, const char *title);
// A push button; `lit` when hovered or pressed, `isdefault` outlines it
// (Enter presses it).
void drawpushbutton(const rect &r, const char *label, bool lit, bool isdefault);
// A sunken well (list, field): black with an outline, lit when focused.
void drawwell(const rect &r, bool focused);

// ---- text on the screen -----------------------------------------------------

// A UTF-8 text as code page 437 for the font: characters the code page
// lacks become "?".
std::string screentext(const std::string &utf8);
// The number of characters of a UTF-8 text.
int textcount(const std::string &utf8);
// A screen text cut to `width` characters: the end replaced by "..." (or the
// start, with fromleft).
std::string fittext(const std::string &text, int width, bool fromleft = false);

// Modal dialogs: the file chooser and the message boxes are states that
// the designer's frame steps, one frame at a time, over the frame drawn so
// far (the way immediate-mode UIs run modal popups); and their shared look.
//
// A kind of dialog is a row of four functions over the dialog's own record
// (chooserstate, messagebox): its keys, its mouse, its drawing and its
// answer. One dialog is open at a time. Whoever opens it gives a `then`
// that gets the answer once it has closed, and may open the next dialog
// there (a message box after the chooser). What stepdialog (the frame's
// step 23) does with the open dialog:
//
//   the dialog                   this frame
//   opened in this frame         drawn only: its input starts next frame
//   open since an earlier one    key events (getkeyevent) one by one, then
//                                the mouse (cursor, modal's button edges),
//                                then its work for the frame (a long export
//                                a part at a time), while it has no answer
//   has its answer now           closed: the keys held now stay its own (an
//                                ESC that closed it does not close the
//                                designer); then `then` with the answer
//   (still) open                 the frame dimmed, the dialog drawn over it
//
// The frame under a dialog is the designer's, drawn as always but with no
// control taking the keys or the mouse; the cursor is drawn over both.
//
// A new kind of dialog: a record for its state; the four functions, its
// answer -1 while it is open (and, when it changes on its own, `due`; when
// it works between frames, `step`); a `const dialogkind` with them; and a
// function that fills the record and calls opendialog(kind, then).
// showmessage in msgbox.cpp is the small example.
#pragma once
#include "platform.h"

#include <cstdint>
#include <string>

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

struct dialogkind {
    void (*key)(uint32_t event);        // a key event
    void (*mouse)();                    // this frame's mouse
    void (*draw)();                     // over the dimmed frame, centred on modal.width x height
    int (*answer)();                    // -1 while open, else what `then` gets
    double (*due)();                    // when it changes by itself next (a blink), seconds; null never
    void (*step)();                     // its work for this frame, after the input; null none
};

struct modalstate {
    const dialogkind *kind;             // the open dialog; null none
    void (*then)(int answer);           // its opener's next step; null none
    bool fresh;                         // opened in this frame
    int width, height;                  // the frame it stands on
    double now;                         // readtime of this frame
    bool pressed, released;             // the left button went down / up this frame
    bool held;                          // the left button is down
};

extern modalstate modal;

// No dialog open.
void resetmodal();
// Opens a dialog whose record is filled in already; it is drawn in this
// frame's step 23 and takes input from the next frame on.
void opendialog(const dialogkind &kind, void (*then)(int answer));
bool dialogopen();
// Step 23 of a frame on the frame f drawn so far: the table above.
void stepdialog(const framebuffer &f);

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

// Message boxes in the dialogs' look: an error to acknowledge (OK) or a
// question (Yes / No). One can stand alone (showmessage runs its own modal
// frames) or be part of another dialog, which hands it keys and the mouse
// and draws it over itself (the chooser's overwrite question).
//
// Keys: Enter presses the focused button, ESC answers No (or closes an
// error), Y and N answer at once, Left, Right and Tab move the focus. The
// mouse: a button acts when the left button is released over it after
// being pressed on it.
#pragma once
#include "dialog.h"

#include <cstdint>
#include <string>
#include <vector>

enum messagekind { messageok, messageyesno };

constexpr int messagewidth = 60;        // characters of text per line at most
constexpr int messagelines = 12;        // lines shown at most; more end in "..."

struct messagebox {
    int kind;
    bool error;                         // the text in the error colours
    std::string title;                  // UTF-8
    std::vector<std::string> lines;     // code page 437, wrapped
    int focus;                          // the button Enter presses: 0 OK or Yes, 1 No
    int pressed;                        // the button under the left press, -1 none
    int result;                         // -1 while open; 1 OK or Yes; 0 No
};

// A text (UTF-8, "\n" breaks lines) wrapped at spaces to `width`
// characters, at most `count` lines, the last ending in "..." when more
// was left; long words are broken.
std::vector<std::string> wraptext(const std::string &utf8, int width, int count);

// A question opens with the focus on No: a stray Enter replaces nothing.
void openmessage(messagebox &m, const char *title, const std::string &text, int kind, bool error);
void messagekey(messagebox &m, uint32_t event);
// This dialog frame's mouse (screen.mousex, mousey and modal's button edges).
void messagemouse(messagebox &m);
// Centred on the frame.
void drawmessage(const messagebox &m);

// The message box showmessage has open (result -1 while it is).
extern messagebox shownmessage;

// A message box of its own: 1 for OK or Yes, 0 for No or when the program
// is closing.
int showmessage(const char *title, const std::string &text, int kind, bool error);

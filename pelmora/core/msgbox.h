// Message boxes in the dialogs' look: an error to acknowledge (OK), a
// question (Yes / No), or the question before unsaved work is thrown away
// (Save / Discard / Cancel). One can stand alone (showmessage opens it as a
// dialog of its own) or be part of another dialog, which hands it keys and
// the mouse and draws it over itself (the chooser's overwrite question).
//
// Keys: Enter (or Space) presses the focused button, ESC the last one (No;
// OK; Cancel), a button's letter presses it (Y, N; S, D), Left, Right and
// Tab move the focus. The mouse: a button acts when the left button is released over it
// after being pressed on it. The buttons of each kind, their answers and
// letters are one row of a table in msgbox.cpp: a new kind of question is
// a new row.
#pragma once
#include "dialog.h"

#include <cstdint>
#include <string>
#include <vector>

enum messagekind { messageok, messageyesno, messagesavediscard, messagekindcount };

// The answers the buttons give.
enum messageanswer { answerno = 0, answeryes = 1, answerok = 1, answercancel = 0, answersave = 2, answerdiscard = 3 };

constexpr int messagewidth = 60;        // characters of text per line at most
constexpr int messagelines = 12;        // lines shown at most; more end in "..."

struct messagebox {
    int kind;
    bool error;                         // the text in the error colours
    std::string title;                  // UTF-8
    std::vector<std::string> lines;     // code page 437, wrapped
    int focus;                          // the button Enter presses
    int pressed;                        // the button under the left press, -1 none
    int result;                         // -1 while open, else the answer of the button pressed
};

// A text (UTF-8, "\n" breaks lines) wrapped at spaces to `width`
// characters, at most `count` lines, the last ending in "..." when more
// was left; long words are broken.
std::vector<std::string> wraptext(const std::string &utf8, int width, int count);

// A question opens with the focus on its kind's first focus: the last
// button (No) for Yes / No, so that a stray Enter replaces nothing; Save
// for Save / Discard / Cancel, so that Enter keeps the work.
void openmessage(messagebox &m, const char *title, const std::string &text, int kind, bool error);
void messagekey(messagebox &m, uint32_t event);
// This dialog frame's mouse (the cursor and modal's button edges).
void messagemouse(messagebox &m);
// Centred on the frame.
void drawmessage(const messagebox &m);

// The message box showmessage has open (result -1 while it is), and its
// row among the dialogs (modal.kind while it is open).
extern messagebox shownmessage;
extern const dialogkind messagedialog;

// A message box as a dialog of its own; `then` (when given) gets the
// answer of the button pressed.
void showmessage(const char *title, const std::string &text, int kind, bool error, void (*then)(int answer) = nullptr);

// The expression editor: the body of the designer's expression text (after
// its fixed header line) edited with keys, the mouse and the clipboard.
//
// The body is the caller's buffer of maxbodylength bytes and its 0 (in the
// designer the text after the 38-byte header of texscripts.script.text):
// any value but 0, lines split by LF. The cursor and the anchor (the
// selection's other end, -1 for none) are positions between the body's
// bytes. Every function takes the editor it works on.
#pragma once
#include <cstdint>
#include <string>

constexpr int maxbodylength = 8192 - 38 - 1;    // 8153

struct editorstate {
    char *body;             // maxbodylength + 1 bytes, 0 at `length`
    int length;             // body length
    int cursor;             // 0..length
    int anchor;             // -1: no selection
    int modified;           // the "*" beside the editor
    double blinkdeadline;   // seconds; the cursor shows while deadline - now > 0.5
    int topline;            // the first line shown (followcursor)
    int leftcolumn;         // the first column shown
    int mark;               // a byte marked as an error's place, -1 none
    int leftout;            // characters the last paste left out
};

// What a key did.
enum editresult {
    editunused,             // not a key of the editor
    editmoved,              // the cursor or the selection moved (or copied, or an insertion was refused)
    editchanged,            // the text changed
};

// A new body was put in place (start-up, a load): length from the text,
// cursor at its start, no selection. The modified flag is left alone.
void resetedit(editorstate &e, char *body, int bodylength);

// One key event; an editresult. Beside the keys with an action of their
// own, Ctrl+C copies (as Ctrl+Insert), Ctrl+X copies the selection and
// deletes it, Ctrl+V pastes (as Shift+Insert), Ctrl+A selects the whole
// body. A paste brings the clipboard's text as the keyboard would type it:
// line feeds and the characters the font has; control characters (Tab
// among them) and characters without a glyph are left out and counted in
// `leftout`; carriage returns are part of their line break.
int editkey(editorstate &e, uint32_t event);

// Scrolls the view (topline, leftcolumn) so that the cursor is inside it,
// `lines` lines of `columns` columns (the cursor may stand just after the
// last column), moving it as little as it can and never past what the text
// needs: a text that fits is shown from its first line and column.
void followcursor(editorstate &e, int lines, int columns);

// The line (0 first) and column of body offset `at`.
void lineandcolumn(const char *body, int at, int &line, int &column);

// Places the cursor from the mouse position (mx, my) in an editor whose
// first shown line (topline) starts at (left, top) and whose lines end above
// `bottom`; extend != 0 keeps or starts a selection.
void clicktocursor(editorstate &e, int left, int top, int bottom, int mx, int my, int extend);

// Draws the body from (left, top): the first shown line and at most
// `extralines` more, "..." below when more remain; the selection; the
// cursor when blinkdeadline - now > 0.5; the marked byte's cell in the
// error colours. Scrolled, an arrow left of the first line tells of lines
// above, and arrows left of lines of text hidden to the left.
void drawedittext(const editorstate &e, int left, int top, int extralines, double now);

// Puts a zero-terminated text (code page 437) on the system clipboard, as
// UTF-8.
void copytoclip(const char *text);

// The clipboard's UTF-8 text as the keyboard would type it (see editkey);
// `leftout` counts what was left out.
std::string pastabletext(const char *utf8, int &leftout);

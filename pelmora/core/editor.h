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

constexpr int maxbodylength = 8192 - 38 - 1;    // 8153

struct editorstate {
    char *body;             // maxbodylength + 1 bytes, 0 at `length`
    int length;             // body length
    int cursor;             // 0..length
    int anchor;             // -1: no selection
    int modified;           // the "*" beside the editor
    double blinkdeadline;   // seconds; the cursor shows while deadline - now > 0.5
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

// One key event; an editresult.
int editkey(editorstate &e, uint32_t event);

// Places the cursor from the mouse position (mx, my) in an editor whose
// first line starts at (left, top) and whose lines end above `bottom`;
// extend != 0 keeps or starts a selection.
void clicktocursor(editorstate &e, int left, int top, int bottom, int mx, int my, int extend);

// Draws the body from (left, top): the first line and at most `extralines`
// more, "..." below when more remain; the selection; the cursor when
// blinkdeadline - now > 0.5.
void drawedittext(const editorstate &e, int left, int top, int extralines, double now);

// Puts a zero-terminated text on the system clipboard.
void copytoclip(const char *text);

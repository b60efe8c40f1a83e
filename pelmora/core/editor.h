// The expression editor: the body of the designer's expression text (after
// its fixed header line) edited with keys, the mouse and the clipboard.
//
// The text lives in texscripts.script.text: the 38-byte header, then the
// body of at most 8153 bytes (any value but 0, lines split by LF), then 0.
// The cursor and the anchor (the selection's other end, -1 for none) are
// positions between the body's bytes.
#pragma once
#include <cstdint>

constexpr int maxbodylength = 8192 - 38 - 1;    // 8153

struct editorstate {
    int length;             // body length
    int cursor;             // 0..length
    int anchor;             // -1: no selection
    int modified;           // the "*" beside the editor
    double blinkdeadline;   // seconds; the cursor shows while deadline - now > 0.5
};

extern editorstate editor;

// The body: the expression text after its header.
char *editbody();

// A new body was put in place (start-up, a load): length from the text,
// cursor at its start, no selection. The modified flag is left alone.
void resetedit(int bodylength);

// One key event. 0 = not used, 1 = used without changing the text (cursor or
// selection moved, copy, refused insertion), 2 = text changed.
int editkey(uint32_t event);

// Places the cursor from the mouse position (mx, my) in an editor whose
// first line starts at (left, top) and whose lines end above `bottom`;
// extend != 0 keeps or starts a selection.
void clicktocursor(int left, int top, int bottom, int mx, int my, int extend);

// Draws the body from (left, top): the first line and at most `extralines`
// more, "..." below when more remain; the selection; the cursor when
// blinkdeadline - now > 0.5.
void drawedittext(int left, int top, int extralines, double now);

// Puts a zero-terminated text on the system clipboard.
void copytoclip(const char *text);

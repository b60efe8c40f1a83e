// A one-line text field: UTF-8 bytes (file names are UTF-8 on disk) edited
// a character at a time, typed characters coming as code page 437.
//
// Keys: Left, Right, Home, End move the cursor; Backspace and Delete remove
// a character; Ctrl+A selects the whole text; typed characters (32 and up,
// without Ctrl or Alt) are inserted. While the whole text is selected (as
// when a name is proposed) typing replaces it, Backspace and Delete clear
// it and the cursor keys drop the selection.
#pragma once
#include <cstdint>
#include <string>

struct textfield {
    std::string text;       // UTF-8
    int cursor;             // byte offset at the start of a character, or the end
    bool all;               // the whole text is selected
    int scroll;             // the first character shown
    int limit;              // bytes the text may hold at most
};

enum fieldresult {
    fieldunused,            // not a key of the field
    fieldused,              // the cursor or the selection moved
    fieldchanged,           // the text changed
    fieldfull,              // a character was refused: the text would pass the limit
};

// A new text, the cursor at its end, selected or not.
void setfield(textfield &f, const std::string &text, bool select);

int fieldkey(textfield &f, uint32_t event);

// The cursor to the gap nearest to pixel `dx` from the field's first shown
// character; the selection is dropped.
void fieldclick(textfield &f, int dx);

// Draws `columns` characters from (x, y), scrolled so that the cursor is
// seen; the selection and the cursor only while focused, the cursor while
// `cursoron` (it blinks).
void drawfield(textfield &f, int x, int y, int columns, bool focused, bool cursoron);

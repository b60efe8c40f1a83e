// The built-in file chooser: a modal open or save dialog (dialog.h) drawn
// with the designer's font and primitives.
//
// It shows its title, the folder it looks in (with an Up button), that
// folder's entries (folders first, then the files matching the chosen
// filter; "All files (*.*)" shows every file), a name field proposing the
// last name, the filter, an error line, and Open (or Save) and Cancel.
//
// Focus is on the name field, the list or the filter; Tab and Shift+Tab
// move it. What a key does:
//
//   key              name field           list                filter
//   typed character  typed                to the name field   to the name field
//   Ctrl+A           selects all          -                   -
//   Space            typed                to the name field   opens the filter's list
//   Backspace        deletes              parent folder       parent folder
//   Left, Right      cursor               -                   previous, next filter
//   Home, End        cursor               first, last entry   first, last filter
//   Up, Down         list selection (*)   selection           previous, next filter
//   Page Up, Down    list selection (*)   selection           -
//   Enter            the name             the entry           the name
//   Alt+Up           parent folder (any focus); F5 reads the folder again
//   ESC              cancel (closes the filter's list or a question first)
// (*) and the focus goes to the list. The filter's list, while open,
// takes Up, Down and Enter (or Space).
//
// "The name" is the typed text, or the selected entry when it is empty: a
// folder opens it, a file is chosen. A typed name without an extension gets
// the default one in lower case (".tx"); "~/" at its start is the home
// folder; a name that is a folder opens it. Open refuses a file that does
// not exist, and both refuse a folder that does not; save asks before
// replacing a file. A path longer than the buffer is refused with a message, never
// cut. Refusals show in the error line.
//
// Mouse: a click selects an entry (a file's name goes to the name field),
// a double click opens a folder or chooses a file; the wheel scrolls the
// list, as do the scroll bar's track (a page) and thumb (dragged). Buttons
// act when released over the control they were pressed on.
#pragma once
#include "dialog.h"
#include "dirlist.h"
#include "msgbox.h"
#include "textfield.h"

#include <cstdint>
#include <string>

enum chooserfocus { focusname, focuslist, focustype, focuscount };

// The parts the mouse can hit.
enum chooserpart { partnone = -1, partup, partrows, partscroll, partname, parttype, partok, partcancel };

constexpr int chooserrowheight = 10;
constexpr int choosershownrows = 22;

struct chooserlayout {
    rect box;
    rect path, up;                  // the folder and the Up button
    rect list, header, rows;        // the list well, its column heads, its entry rows
    rect scroll;                    // the scroll bar's track
    rect message;                   // the error line
    rect name, type, ok, cancel;
    rect drop;                      // the filter's list while open
    int namex, sizeright, modifiedx;    // the columns
};

struct chooserstate {
    filerequest request;
    std::string defext;             // ".tx": the default extension, lower case
    int filtercount, filter;        // the filters; the one used
    dirlisting listing;             // the folder and its entries
    int selected;                   // entry, -1 none
    int top;                        // the first entry shown
    int focus;
    textfield name;
    std::string message;            // the error line (UTF-8), empty for none
    messagebox question;            // the overwrite question
    bool asking;                    // the question is open
    std::string pending;            // the path the question is about
    bool dropped;                   // the filter's list is open
    int dropitem;                   // its entry under the cursor or the keys
    int pressed;                    // the part the left button went down on
    bool dragging;                  // the scroll bar's thumb is being dragged
    int dragoffset;                 // pixels from the thumb's top to the press
    int lastclick;                  // entry of the last press in the list, -1 none
    double lastclicktime;
    int activate;                   // entry a double click opens on release, -1 none
    double blink;                   // the name field's cursor shows while blink - now > 0.5
    int result;                     // -1 open, 0 cancelled, 1 chosen
    std::string chosen;             // the path chosen (UTF-8)
    int size;                       // bytes the caller's path buffer holds
};

extern chooserstate chooser;

// ---- the folder, the selection and choosing ----------------------------------

// A fresh chooser for the request (see openchooser, chooserdialog.h).
void startchooser(const filerequest &request, const char *defext, int size);
// The overwrite question answered: the path is chosen, or the name field
// gets the focus back.
void stepquestion();
int entrycount();
// Entry i becomes the selection (kept in view); a file's name goes to the
// name field.
void selectentry(int i);
void goup();                        // the folder above, the one we came from selected
void rereadfolder();
void setfilter(int f);
void refusetoolong();               // the error line for a path longer than the buffer
// A folder entry opens; a file entry is chosen (a save asks first when it exists).
void activateentry(int i);
// Enter and the Open or Save button.
void confirmchooser();
void cancelchooser();

// The one seam between the designer's screen and the platform it runs on.
//
// The screen (everything in pelmora/core) draws into a frame buffer of
// 32-bit pixels and asks the platform for the few things below through one
// record of function pointers. The SDL layer fills the record in; tests fill
// in their own and drive the screen headless. What happens on the platform
// side (keys, text, mouse motion, buttons, activation) is pushed into the
// core through the input functions of input.h.
#pragma once
#include <cstdint>

// A frame to draw into: 0x00RRGGBB pixels, `pitch` bytes from row to row.
struct framebuffer {
    uint32_t *pixels;
    int pitch;
    int width, height;
};

// A filter of a file dialog: "Texture script (.TX)" with "*.tx". A list of
// them ends with an entry whose description is null.
struct filefilter {
    const char *description;
    const char *pattern;
};

// What a file dialog asks for. Paths are UTF-8 with "/" separators.
struct filerequest {
    const char *title;
    const filefilter *filters;
    const char *proposed;       // the path proposed ("" none)
    const char *folder;         // where to open when proposed has no folder ("" none)
    int save;                   // a save dialog: it asks before a file is replaced
};

// Results of the desktop's own file dialog.
enum systemchoice {
    systemunavailable = -1,     // none could be shown: the built-in chooser takes over
    systemcancelled = 0,
    systemchosen = 1,           // the path is in the caller's buffer
    systemtoolong = 2,          // a path was chosen that does not fit the buffer
    systemnulbyte = 3,          // the dialog answered a name with a NUL byte, which no file has
};

struct platform {
    // Seconds since start, from a monotonic clock of sub-millisecond resolution.
    double (*clock)();
    // The frame to draw this pass into; 0 when there is none now (the frame is
    // then skipped).
    int (*lock)(framebuffer *fb);
    // Puts the finished frame on the screen.
    void (*present)(const framebuffer &fb);
    // Asks the program to close (ESC, the Exit button).
    void (*close)();
    // Windowed mode: hands the mouse back to the system cursor at client
    // position (x, y); when the cursor comes back into the window the
    // platform calls inputreenter. Null in full screen.
    void (*releasemouse)(int x, int y);
    // The system clipboard, text in code page 437. getclipboard returns a new
    // zero-terminated text the caller frees with free(), or null when the
    // clipboard holds no text; setclipboard copies the text.
    char *(*getclipboard)();
    void (*setclipboard)(const char *text);
    // Windowed mode: the desktop's own file dialog (a systemchoice; the
    // path goes to `path`, `size` bytes with its NUL). The designer stays
    // drawn and the system cursor has the mouse while it is open. Null: the
    // built-in chooser is always used.
    int (*systemdialog)(const filerequest &request, char *path, int size);
};

// The platform the screen runs on; set before initapp.
extern platform host;

// Seconds since the platform's clock started.
double readtime();

// Asks the platform to close the program (ESC, the Exit button).
void requestclose();

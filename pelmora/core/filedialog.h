// Choosing files: the open and save dialogs and the file name buffer they
// share.
//
// The buffer holds the path chosen last (UTF-8, "/" separators), so each
// dialog proposes the previous file; it is empty at start. The first
// dialog after start-up opens in the start-up directory; later ones open in
// the proposed path's folder, or where the last one was left. Cancelling
// leaves the buffer as it was.
//
// In windowed mode the desktop's own dialog is used when the platform has
// one (host.systemdialog), else the built-in chooser (chooser.h). The
// desktop's dialog runs to its end inside the call; the built-in chooser
// and the message boxes that may follow (a path too long, a saved name
// that got its extension and now replaces a file) are dialogs the frames
// step. Whichever way, the path reaches the caller's `then` once it is
// chosen; nothing happens when the user cancels.
#pragma once
#include "platform.h"

#include <string>

constexpr int filenamesize = 4096;      // the buffer, its NUL included

struct filedialogstate {
    char filename[filenamesize];        // the file name buffer
    char startdir[filenamesize];        // the start-up directory, ending in "/" ("" unknown)
    int firstdialog;                    // no dialog was shown since start-up
    std::string lastfolder;             // where the last dialog was left

    // The dialog under way.
    void (*then)(const char *path);     // gets the path once it is chosen
    std::string pending;                // a desktop dialog's path waiting for the overwrite answer
};

extern filedialogstate filedialog;

extern const filefilter texturefilters[];   // "Texture script (.TX)", then all files
extern const filefilter pngfilters[];       // "PNG image (.PNG)", then all files

// Start-up: an empty buffer, the first-dialog flag set, the start-up
// directory read.
void resetfiledialog();

// The open and save dialogs. `defext` is the default extension without its
// dot ("TX"); a name typed without an extension gets it in lower case.
// `then` gets the file name buffer holding the chosen path.
void choosefile(const char *title, const filefilter *filters, const char *defext, void (*then)(const char *path));
void choosesavefile(const char *title, const filefilter *filters, const char *defext, void (*then)(const char *path));

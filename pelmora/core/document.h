// The texture as a document: the script file it was loaded from or saved
// to last, what that file holds, whether the texture differs from it, and
// whether the file changed on disk since.
//
// At start the document is the default texture and has no file; nothing
// is unsaved. Loads and saves make the file the document's. Its time and
// size are looked at once a second (pollscript, also between frames); a
// change seen twice in a row (so a file still being written is not taken
// half-way) is waiting in `changed` for the frame to handle.
#pragma once
#include "texscript.h"

#include <cstdint>
#include <string>

constexpr double scriptpollinterval = 1.0;      // seconds

struct filestamp {
    int64_t seconds, nanoseconds, size, inode;
    bool operator==(const filestamp &o) const = default;
};

struct documentstate {
    std::string path;           // the script file, "" none
    texturescript saved;        // what it holds (at start, the default texture)
    filestamp stamp;            // the file as loaded or saved
    filestamp seen;             // the file as the last poll saw it
    double nextpoll;            // seconds
    int changed;                // the file changed on disk and the frame has not handled it
};

extern documentstate document;

// At start: the texture now counts as saved, with no file.
void resetdocument();
// A load from or a save to `path` succeeded: the texture is what it holds.
void notesaved(const char *path);
// Whether the texture differs from the file (expression text, weights,
// shape, light, global scale).
bool unsaved();
// The file's name for questions: "rock.tx", or "Untitled".
std::string documentname();
// Once every scriptpollinterval: the file's time and size.
void pollscript(double now);

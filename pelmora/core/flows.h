// What the F2, F3 and F4 buttons start: loading and saving texture scripts
// and exporting the preview as PNG, each through a file dialog
// (filedialog.h). A flow starts in the frame its button acts in; the rest
// of it runs once a path is chosen, in the frame the dialog closes in (or
// at once, after a desktop dialog). A file that cannot be read or written
// is reported in a message box that names it (a long path shortened in the
// middle) and always says why; the writers never leave half a file.
//
// Work is never thrown away without a word: ESC, the Exit button, closing
// the window and F2 first ask "Save changes to NAME?" when the texture
// differs from its file (document.h). Save runs the save flow and goes on
// once the script is saved; Discard goes on; Cancel stays in the designer.
// With nothing unsaved they go on at once.
#pragma once
#include <string>

void loadflow();
void saveflow();
// The save flow, and `then` once the script is saved.
void savethen(void (*then)());
// F4: the file, then its size and tiling (pngdialogs.h), then the export.
void pngflow();

// `next` at once, or after the question when there is unsaved work.
void unlessunsaved(void (*next)());
// ESC, the Exit button, the window's close: end the program, asking first.
void closedesigner();
// F2: the load flow, asking first.
void loadunlessunsaved();

// The script changed on disk (document.changed): reloaded at once when
// nothing is unsaved, else after a question.
void offerreload();

// A path for a message: at most `limit` characters, the middle of a longer
// one left out ("/tmp/.../name.tx"; a name too long on its own keeps its
// start and end).
std::string shortpath(const std::string &path, size_t limit);
// The message of a failed load or save of `path` as a sentence: the path in
// it shortened, the reason kept (asked of the system again when the file
// layer's message lost it).
std::string failuretext(const char *why, const char *path);

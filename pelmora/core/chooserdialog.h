// The built-in file chooser as a dialog (dialog.h).
#pragma once
#include "dialog.h"
#include "platform.h"

// The chooser's row among the dialogs (modal.kind while it is open).
extern const dialogkind chooserdialog;

// Opens the chooser; `then` gets 1 when a path was chosen (it is in
// chooser.chosen and fits `size` bytes with its NUL), 0 when it was
// cancelled. The request's proposed path gives the folder to open (when it
// has one) and the name; else its folder, else the current folder. defext
// is the default extension without its dot ("TX").
void openchooser(const filerequest &request, const char *defext, int size, void (*then)(int answer));

// What the F2, F3 and F4 buttons start: loading and saving texture scripts
// and exporting the preview as PNG, each through a file dialog
// (filedialog.h). They run inside one frame of the screen; a dialog is
// modal: it pumps the platform and draws frames of its own until it closes.
// A file that cannot be read or written is reported in a message box that
// names it and says why; the writers never leave half a file.
#pragma once

void loadflow();
void saveflow();
void pngflow();

// What the F2, F3 and F4 buttons start: loading and saving texture scripts
// and exporting the preview as PNG, each through a file dialog
// (filedialog.h). A flow starts in the frame its button acts in; the rest
// of it runs once a path is chosen, in the frame the dialog closes in (or
// at once, after a desktop dialog). A file that cannot be read or written
// is reported in a message box that names it and says why; the writers
// never leave half a file.
#pragma once

void loadflow();
void saveflow();
void pngflow();

// What the F2, F3 and F4 buttons start: loading and saving texture scripts
// and exporting the preview as PNG, each through a file chooser. They run
// inside one frame of the screen; a chooser is modal: it pumps the
// platform (host.pump) and draws its own frames until it closes.
#pragma once

void loadflow();
void saveflow();
void pngflow();

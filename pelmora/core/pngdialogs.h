// The F4 export's two dialogs, in the message boxes' look (msgbox.h).
//
// The size question, once the file is chosen: the image's side (256, 512,
// 1024, 2048 or 4096 pixels, a button each) and whether it tiles without
// a seam (a box), then Save or Cancel. It opens on 256, not tiled, with
// Save the default: Enter alone saves the preview as it is shown, as F4
// always has.
//   keys   Left, Right: the side; T: tiling on and off; Enter, Space or S:
//          Save; ESC or C: Cancel
//   mouse  a control acts when the left button is released over it after
//          being pressed on it
//
// The export under way (sides above 256; 256 is the preview's own pixels,
// written at once): the file's name, its size, and a bar that fills as
// the rows are written, with Cancel (ESC, Enter, Space, C). Each frame
// renders and writes one row of blocks (surface.h), so the designer stays
// responsive; a cancelled export leaves no file.
#pragma once
#include "dialog.h"
#include "pngexport.h"

#include <string>

constexpr int pngsidecount = 5;
extern const int pngsides[pngsidecount];    // 256 .. 4096

// The question's controls: the sides 0 .. pngsidecount - 1, then these.
enum pngcontrol { pngtilebox = pngsidecount, pngsave, pngcancel, pngcontrolcount };

struct pngquestion {
    std::string name;       // the file's name, shown
    int side;               // index into pngsides
    bool tile;
    int pressed;            // the control under the left press, -1 none
    int result;             // -1 while open; 0 Cancel; else pnganswer of the choice
};

// Save's answer: the side and the tiling in one positive number, and back.
inline int pnganswer(int side, bool tile)
{
    return 2 * side + (tile ? 1 : 0);
}
inline surfaceoptions pngchoiceof(int answer)
{
    return {answer / 2, (answer & 1) != 0};
}

extern pngquestion pngsize;
extern const dialogkind pngsizedialog;

// Where the question's parts are on a frame of width x height.
struct pngquestionlayout {
    rect box;
    int namey, asky;                    // the file's name, the question
    rect controls[pngcontrolcount];     // the sides, the tiling box and its label, Save, Cancel
    int tiley;                          // the tiling box's label
};
pngquestionlayout pngquestionlayoutof(int width, int height);

// The question for the file `name`; `then` gets its answer.
void askpngsize(const std::string &name, void (*then)(int answer));

// The export's answers.
enum pngexportanswer { pngexportcancelled = 0, pngexportdone = 1, pngexportfailed = 2 };

struct pngexporting {
    exportjob *job;         // under way, begun by the caller
    std::string text;       // the name and the size
    int pressed;            // Cancel under the left press
    int result;             // -1 while it runs, else a pngexportanswer
};

extern pngexporting pngexport;
extern const dialogkind pngexportdialog;

struct pngexportlayout {
    rect box;
    int texty;
    rect bar, cancel;
};
pngexportlayout pngexportlayoutof(int width, int height);

// Shows the export `job` (begun, not yet stepped) and steps it a row of
// blocks per frame; `then` gets a pngexportanswer. On Cancel the job is
// left as it is, for `then` to abort.
void showpngexport(exportjob &job, const std::string &name, const surfaceoptions &o, void (*then)(int answer));

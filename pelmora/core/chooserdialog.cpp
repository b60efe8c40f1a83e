// The built-in file chooser as a dialog: its row of dialog functions over
// the chooser's record. Keys and the mouse go to the overwrite question
// while it is open; its answer is taken at once.
#include "chooserdialog.h"
#include "chooser.h"
#include "chooserdraw.h"
#include "chooserinput.h"
#include "dialog.h"

static void key(uint32_t event)
{
    chooserkey(event);
    stepquestion();
}

static void mouse()
{
    choosermouse(chooserlayoutof(modal.width, modal.height));
    stepquestion();
}

// The name field's cursor blinks: on while blink - now > 0.5.
static bool cursorshown()
{
    while (chooser.blink < modal.now)
        chooser.blink += 1.0;
    return chooser.blink - modal.now > 0.5;
}

static void draw()
{
    drawchooser(chooserlayoutof(modal.width, modal.height), cursorshown());
}

static int answer()
{
    return chooser.result;
}

// The next turn of the name field's blink.
static double due()
{
    return chooser.blink - 0.5 > modal.now ? chooser.blink - 0.5 : chooser.blink;
}

const dialogkind chooserdialog = {key, mouse, draw, answer, due, nullptr};

void openchooser(const filerequest &request, const char *defext, int size, void (*then)(int answer))
{
    startchooser(request, defext, size);
    opendialog(chooserdialog, then);
}

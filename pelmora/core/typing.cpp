#include "typing.h"
#include "editor.h"
#include "history.h"
#include "keys.h"
#include "recompile.h"
#include "screenstate.h"

// What a key did to the history: runs of typing (a line break typed with
// main Enter among them), Backspace and Delete are steps of their own kinds.
static int stepkindof(uint32_t event)
{
    switch (keyscan(event)) {
    case scanbackspace:
        return stepbackspace;
    case scandelete:
        return stepdelete;
    case scanenter:
        return steptyping;
    default:
        return keychar(event) >= 32 && !keyctrl(event) ? steptyping : stepedit;
    }
}

int typeinto(uint32_t event)
{
    int result = editkey(screen.editor, event);
    if (result == editchanged) {
        textchanged();
        commit(stepkindof(event), committext);
    }
    if (screen.editor.leftout > 0) {
        setstatus(5.0, "Pasted without %d character%s: control characters and characters without a glyph",
                  screen.editor.leftout, screen.editor.leftout == 1 ? "" : "s");
        screen.editor.leftout = 0;
    }
    return result;
}


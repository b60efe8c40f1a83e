// The designer's start-up (initapp) and the frame settings it chooses.
#include "app.h"
#include "controls.h"
#include "cursor.h"
#include "designer.h"
#include "dialog.h"
#include "document.h"
#include "editor.h"
#include "filedialog.h"
#include "history.h"
#include "platform.h"
#include "preview.h"
#include "screenstate.h"
#include "texscript.h"

#include <cstring>

static_assert(exprheaderlength + maxbodylength + 1 == exprtextsize, "the body and its 0 fill the text");

appsettings app = {"WinMain App (by Zelt)", 640, 480, 8, 1, 1};

// The editor works on the expression's body, after its header.
static char *designerbody()
{
    return texscripts.script.text + exprheaderlength;
}

// A script that loads puts a new body in place.
static void resetdesigneredit(int bodylength)
{
    resetedit(screen.editor, designerbody(), bodylength);
}

static void firstpreview()
{
    preview.lighting = 1;
    if (!renderpreview(1, 1)) {
        screen.rebuild = 1;         // out of memory: black for now, tried again in a second
        screen.retryat = readtime() + 1.0;
    }
}

int initapp(int argc, char **argv)
{
    (void)argv;
    resetscreen();
    resetcursor();
    resetmodal();
    resetfiledialog();
    startdesigner();
    texscripts.editreset = resetdesigneredit;
    resetdesigneredit(int(std::strlen(designerbody())));
    screen.editor.modified = 0;
    resethistory();
    resetdocument();
    bool full = argc > 1;
    app = {"Pelmora by Yorvath", full ? 1024 : 800, full ? 768 : 600, 32, full ? 1 : 0, 0};
    firstpreview();
    buildcontrols();
    screen.previoustime = screen.currenttime = readtime();
    screen.editor.blinkdeadline = screen.previoustime + 1.0;
    return 0;
}

void uninitapp()
{
}

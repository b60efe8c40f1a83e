#include "app.h"
#include "designer.h"
#include "editor.h"
#include "filedialog.h"
#include "platform.h"
#include "preview.h"
#include "screen.h"
#include "texscript.h"

#include <cstring>
#include <unistd.h>

appsettings app = {"WinMain App (by Zelt)", 640, 480, 8, 1, 1};

double readtime()
{
    return host.clock();
}

void requestclose()
{
    if (host.close)
        host.close();
}

// The current directory with a separator at its end (none when empty).
static void readstartdir()
{
    char *dir = screen.startdir;
    if (!getcwd(dir, startdirsize - 1)) {
        dir[0] = 0;
        return;
    }
    size_t n = std::strlen(dir);
    if (n && dir[n - 1] != '/' && dir[n - 1] != '\\') {
        dir[n] = '/';
        dir[n + 1] = 0;
    }
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
    resetfiledialog();
    readstartdir();
    startdesigner();
    texscripts.editreset = resetedit;
    resetedit(int(std::strlen(editbody())));
    editor.modified = 0;
    bool full = argc > 1;
    app = {"Pelmora by Yorvath", full ? 1024 : 800, full ? 768 : 600, 32, full ? 1 : 0, 0};
    firstpreview();
    buildcontrols();
    screen.previoustime = screen.currenttime = readtime();
    editor.blinkdeadline = screen.previoustime + 1.0;
    return 0;
}

void uninitapp()
{
}

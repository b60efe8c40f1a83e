// The open and save dialogs: the desktop's own or the built-in chooser, the
// questions and refusals that may follow, and the path handed on.
#include "filedialog.h"
#include "chooser.h"
#include "chooserdialog.h"
#include "dirlist.h"
#include "msgbox.h"

#include <cctype>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

filedialogstate filedialog;

const filefilter texturefilters[] = {
    {"Texture script (.TX)", "*.tx"},
    {"All files (*.*)", "*.*"},
    {nullptr, nullptr},
};

const filefilter pngfilters[] = {
    {"PNG image (.PNG)", "*.png"},
    {"All files (*.*)", "*.*"},
    {nullptr, nullptr},
};

// The current directory with a separator at its end (none when empty).
static void readstartdir()
{
    char *dir = filedialog.startdir;
    if (!getcwd(dir, filenamesize - 1)) {
        dir[0] = 0;
        return;
    }
    size_t n = std::strlen(dir);
    if (n && dir[n - 1] != '/' && dir[n - 1] != '\\') {
        dir[n] = '/';
        dir[n + 1] = 0;
    }
}

void resetfiledialog()
{
    filedialog.filename[0] = 0;
    filedialog.firstdialog = 1;
    filedialog.lastfolder.clear();
    filedialog.then = nullptr;
    filedialog.pending.clear();
    readstartdir();
}

static std::string toolongtext()
{
    return "The path is too long: a path has at most " + std::to_string(filenamesize - 1) + " bytes.";
}

// What the desktop's dialog answered when no path can be used.
static std::string refusaltext(int choice)
{
    if (choice == systemnulbyte)
        return "The desktop's file dialog gave a name with a NUL byte in it, and no file has such a name.";
    return toolongtext();
}

// The path is chosen: it goes to the buffer and to whoever asked.
static void finish(const char *path)
{
    std::memmove(filedialog.filename, path, std::strlen(path) + 1);
    filedialog.lastfolder.assign(filedialog.filename, size_t(lastpart(filedialog.filename) - filedialog.filename));
    if (filedialog.then)
        filedialog.then(filedialog.filename);
}

static void builtinanswered(int answer)
{
    filedialog.lastfolder = chooser.listing.path;
    if (answer == 1 && chooser.chosen.size() < size_t(filenamesize))
        finish(chooser.chosen.c_str());
}

static void overwriteanswered(int answer)
{
    if (answer == answeryes)
        finish(filedialog.pending.c_str());
}

// A desktop dialog adds no extension: a saved name without one gets the
// default, and the user is asked again when that file exists.
static void finishsystempath(const filerequest &r, const char *defext, const char *path)
{
    const char *name = lastpart(path);
    if (!r.save || !name[0] || std::strchr(name + 1, '.')) {
        finish(path);
        return;
    }
    std::string full = path + std::string(".");
    for (const char *p = defext; *p; p++)
        full += char(std::tolower(static_cast<unsigned char>(*p)));
    if (full.size() >= size_t(filenamesize)) {
        showmessage(r.title, toolongtext(), messageok, true);
        return;
    }
    struct stat st;
    if (stat(full.c_str(), &st) != 0) {
        finish(full.c_str());
        return;
    }
    filedialog.pending = full;
    std::string question = "\"" + std::string(lastpart(full.c_str())) + "\" already exists.\nDo you want to replace it?";
    showmessage("Confirm Save As", question, messageyesno, false, overwriteanswered);
}

static void choose(const char *title, const filefilter *filters, const char *defext, int save,
                   void (*then)(const char *path))
{
    const char *folder = filedialog.firstdialog ? filedialog.startdir : filedialog.lastfolder.c_str();
    filerequest r = {title, filters, filedialog.filename, folder, save};
    filedialog.firstdialog = 0;
    filedialog.then = then;
    char path[filenamesize];
    int got = host.systemdialog ? host.systemdialog(r, path, filenamesize) : systemunavailable;
    switch (got) {
    case systemunavailable:
        openchooser(r, defext, filenamesize, builtinanswered);
        break;
    case systemchosen:
        finishsystempath(r, defext, path);
        break;
    case systemtoolong:
    case systemnulbyte:
        showmessage(title, refusaltext(got), messageok, true);
        break;
    default:
        break;                          // cancelled
    }
}

void choosefile(const char *title, const filefilter *filters, const char *defext, void (*then)(const char *path))
{
    choose(title, filters, defext, 0, then);
}

void choosesavefile(const char *title, const filefilter *filters, const char *defext,
                    void (*then)(const char *path))
{
    choose(title, filters, defext, 1, then);
}

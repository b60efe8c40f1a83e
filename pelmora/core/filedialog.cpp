#include "filedialog.h"
#include "chooser.h"
#include "msgbox.h"
#include "screen.h"

#include <cctype>
#include <cstring>
#include <sys/stat.h>

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

void resetfiledialog()
{
    filedialog.filename[0] = 0;
    filedialog.firstdialog = 1;
    filedialog.lastfolder.clear();
}

static std::string toolongtext()
{
    return "The path is too long: a path has at most " + std::to_string(filenamesize - 1) + " bytes.";
}

// A desktop dialog adds no extension: a saved name without one gets the
// default, and the user is asked again when that file exists. False when
// the path cannot be used.
static bool finishsystempath(const filerequest &r, const char *defext, char *path)
{
    const char *name = lastpart(path);
    if (!r.save || !name[0] || std::strchr(name + 1, '.'))
        return true;
    std::string full = path + std::string(".");
    for (const char *p = defext; *p; p++)
        full += char(std::tolower(static_cast<unsigned char>(*p)));
    if (full.size() >= size_t(filenamesize)) {
        showmessage(r.title, toolongtext(), messageok, true);
        return false;
    }
    struct stat st;
    if (stat(full.c_str(), &st) == 0) {
        std::string question = "\"" + std::string(lastpart(full.c_str())) + "\" already exists.\nDo you want to replace it?";
        if (!showmessage("Confirm Save As", question, messageyesno, false))
            return false;
    }
    std::memcpy(path, full.c_str(), full.size() + 1);
    return true;
}

static const char *choose(const char *title, const filefilter *filters, const char *defext, int save)
{
    const char *folder = filedialog.firstdialog ? screen.startdir : filedialog.lastfolder.c_str();
    filerequest r = {title, filters, filedialog.filename, folder, save};
    filedialog.firstdialog = 0;
    char path[filenamesize];
    int got = host.systemdialog ? host.systemdialog(r, path, filenamesize) : systemunavailable;
    if (got == systemunavailable) {
        got = runchooser(r, defext, path, filenamesize) ? systemchosen : systemcancelled;
        filedialog.lastfolder = chooser.listing.path;
    } else if (got == systemtoolong) {
        showmessage(title, toolongtext(), messageok, true);
        return nullptr;
    } else if (got == systemchosen && !finishsystempath(r, defext, path)) {
        return nullptr;
    }
    if (got != systemchosen)
        return nullptr;
    std::memcpy(filedialog.filename, path, std::strlen(path) + 1);
    filedialog.lastfolder.assign(path, size_t(lastpart(path) - path));
    return filedialog.filename;
}

const char *choosefile(const char *title, const filefilter *filters, const char *defext)
{
    return choose(title, filters, defext, 0);
}

const char *choosesavefile(const char *title, const filefilter *filters, const char *defext)
{
    return choose(title, filters, defext, 1);
}

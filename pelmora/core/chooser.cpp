// The built-in file chooser: its folder, the selection and the checks
// before a path is chosen. Keys and the mouse are in chooserinput.cpp,
// drawing in chooserdraw.cpp, its place among the dialogs in
// chooserdialog.cpp.
#include "chooser.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

chooserstate chooser;

// ---- the folder and the selection -------------------------------------------

int entrycount()
{
    return int(chooser.listing.entries.size());
}

static void keepinview()
{
    int count = entrycount(), s = chooser.selected;
    if (s >= 0) {
        if (s < chooser.top)
            chooser.top = s;
        if (s >= chooser.top + choosershownrows)
            chooser.top = s - choosershownrows + 1;
    }
    chooser.top = std::clamp(chooser.top, 0, std::max(count - choosershownrows, 0));
}

// Entry i becomes the selection; a file's name goes to the name field.
void selectentry(int i)
{
    if (entrycount() == 0) {
        chooser.selected = -1;
        return;
    }
    chooser.selected = std::clamp(i, 0, entrycount() - 1);
    const direntry &e = chooser.listing.entries[size_t(chooser.selected)];
    if (!e.folder && e.name.size() < size_t(chooser.name.limit))
        setfield(chooser.name, e.name, true);
    keepinview();
}

static int findentry(const std::string &name)
{
    for (int i = 0; i < entrycount(); i++)
        if (chooser.listing.entries[size_t(i)].name == name)
            return i;
    return -1;
}

// Reads `folder` with the current filter; `mark` is the entry to select
// (a name; none when not there). On failure the chooser stays where it was
// and says why.
static bool openfolder(const std::string &folder, const std::string &mark)
{
    dirlisting l;
    if (!readlisting(folder, chooser.request.filters[chooser.filter].pattern, l)) {
        chooser.message = "Cannot open the folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    chooser.listing = std::move(l);
    chooser.top = 0;
    chooser.selected = findentry(mark);
    if (chooser.selected >= 0)
        keepinview();
    chooser.lastclick = chooser.activate = -1;
    return true;
}

static std::string selectedname()
{
    return chooser.selected >= 0 ? chooser.listing.entries[size_t(chooser.selected)].name : "";
}

void rereadfolder()
{
    openfolder(chooser.listing.path, selectedname());
}

// Up one folder, the one we came from selected.
void goup()
{
    std::string from = chooser.listing.path;
    if (from == "/")
        return;
    std::string up = parentfolder(from);
    chooser.message.clear();
    openfolder(up, from.substr(up.size(), from.size() - up.size() - 1));
}

void setfilter(int f)
{
    f = std::clamp(f, 0, chooser.filtercount - 1);
    if (f == chooser.filter)
        return;
    chooser.filter = f;
    rereadfolder();
}

// ---- choosing ----------------------------------------------------------------

void refusetoolong()
{
    chooser.message = "The path is too long: a path has at most " + std::to_string(chooser.size - 1) + " bytes.";
}

static bool isregular(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

static bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A folder that cannot be opened, with the system's reason (errno `why`):
// only a missing one is "not found" (a link loop is not).
static void refusefolder(const std::string &folder, int why)
{
    if (why == ENOENT)
        chooser.message = "Folder not found: " + folder;
    else
        chooser.message = "Cannot open the folder " + folder + ": " + std::strerror(why);
}

// A file to open that is no regular file: one that is there (`found`), or
// one stat could not reach for the reason `why`.
static void refusefile(const std::string &name, bool found, int why)
{
    if (found)
        chooser.message = "Not a regular file: " + name;
    else if (why == ENOENT)
        chooser.message = "File not found: " + name;
    else
        chooser.message = "Cannot open " + name + ": " + std::strerror(why);
}

static void choose(const std::string &path)
{
    chooser.chosen = path;
    chooser.result = 1;
}

// Save: a file that exists is replaced only when the user says so.
static void chooseforsave(const std::string &path)
{
    if (!exists(path)) {
        choose(path);
        return;
    }
    chooser.pending = path;
    chooser.asking = true;
    openmessage(chooser.question, "Confirm Save As",
                "\"" + std::string(lastpart(path.c_str())) + "\" already exists.\nDo you want to replace it?",
                messageyesno, false);
}

// "~/..." names a path in the home folder.
static std::string expandhome(const std::string &typed)
{
    const char *home = std::getenv("HOME");
    if (home && home[0] && (typed == "~" || typed.compare(0, 2, "~/") == 0))
        return std::string(home) + "/" + typed.substr(std::min<size_t>(typed.size(), 2));
    return typed;
}

// The folder a path stands in (up to its last "/").
static std::string folderof(const std::string &path)
{
    return path.substr(0, path.rfind('/') + 1);
}

// The typed name: a folder opens; otherwise the default extension is added
// when it has none, and the path must fit, lie in an existing folder and,
// for open, name an existing file.
static void choosetyped(const std::string &typed)
{
    std::string name = expandhome(typed);
    std::string plain = name[0] == '/' ? name : chooser.listing.path + name;
    std::string folder = realfolder(plain);
    if (!folder.empty()) {
        chooser.message.clear();
        if (openfolder(folder, ""))
            setfield(chooser.name, "", false);
        return;
    }
    std::vector<char> path(size_t(chooser.size));
    resolution r = resolvename(chooser.listing.path, name.c_str(), chooser.defext.c_str(), path.data(), chooser.size);
    if (r != resolvedpath || plain.size() >= size_t(chooser.size)) {
        refusetoolong();
        return;
    }
    std::string full = path.data();
    folder = realfolder(full);
    if (!folder.empty()) {
        if (openfolder(folder, ""))
            setfield(chooser.name, "", false);
        return;
    }
    if (realfolder(folderof(full)).empty()) {
        int why = errno;
        refusefolder(folderof(full), why);
        return;
    }
    if (chooser.request.save) {
        chooseforsave(full);
        return;
    }
    struct stat st;
    int found = stat(full.c_str(), &st) == 0, why = errno;
    if (found && S_ISREG(st.st_mode))
        choose(full);
    else if (full != plain && isregular(plain))
        choose(plain);              // "notes" exists, "notes.tx" does not
    else
        refusefile(lastpart(full.c_str()), found, why);
}

// A folder entry opens; a file entry is chosen (asking before a save
// replaces it).
void activateentry(int i)
{
    if (i < 0 || i >= entrycount())
        return;
    const direntry &e = chooser.listing.entries[size_t(i)];
    chooser.message.clear();
    if (e.name == "..") {
        goup();
        return;
    }
    std::string path = chooser.listing.path + e.name;
    if (e.folder) {
        if (path.size() + 1 >= size_t(chooser.size))
            refusetoolong();
        else
            openfolder(path + "/", "");
        return;
    }
    if (path.size() >= size_t(chooser.size)) {
        refusetoolong();
        return;
    }
    setfield(chooser.name, e.name, true);
    if (chooser.request.save)
        chooseforsave(path);
    else
        choose(path);
}

// Enter and the Open or Save button: the list's entry when the list has
// the focus, else the typed name (or the entry when nothing is typed).
void confirmchooser()
{
    if (chooser.focus == focuslist && chooser.selected >= 0) {
        activateentry(chooser.selected);
        return;
    }
    if (chooser.name.text.empty()) {
        activateentry(chooser.selected);
        return;
    }
    chooser.message.clear();
    choosetyped(chooser.name.text);
}

void cancelchooser()
{
    chooser.result = 0;
}

// The answer to the overwrite question.
void stepquestion()
{
    if (!chooser.asking || chooser.question.result < 0)
        return;
    chooser.asking = false;
    if (chooser.question.result == 1)
        choose(chooser.pending);
    else
        chooser.focus = focusname;
}

// ---- start --------------------------------------------------------------------

static std::string currentfolder()
{
    char *cwd = getcwd(nullptr, 0);
    std::string folder = cwd ? realfolder(cwd) : "";
    std::free(cwd);
    return folder.empty() ? "/" : folder;
}

// The folder of the proposed path when it has one, else the request's,
// else the current folder; the name field gets the proposed path's last part.
void startchooser(const filerequest &request, const char *defext, int size)
{
    chooser = chooserstate{};
    chooser.request = request;
    chooser.defext = ".";
    for (const char *p = defext; *p; p++)
        chooser.defext += char(std::tolower(static_cast<unsigned char>(*p)));
    while (request.filters[chooser.filtercount].description)
        chooser.filtercount++;
    chooser.size = size;
    chooser.name.limit = size - 1;
    chooser.selected = chooser.lastclick = chooser.activate = -1;
    chooser.pressed = partnone;
    chooser.result = -1;
    chooser.blink = readtime() + 1.0;

    std::string proposed = request.proposed, folder;
    size_t slash = proposed.rfind('/');
    if (slash != std::string::npos)
        folder = realfolder(proposed[0] == '/' ? folderof(proposed) : currentfolder() + folderof(proposed));
    if (folder.empty() && request.folder && request.folder[0])
        folder = realfolder(request.folder);
    if (folder.empty())
        folder = currentfolder();
    std::string name = slash == std::string::npos ? proposed : proposed.substr(slash + 1);
    if (name.size() > size_t(chooser.name.limit))
        name.clear();
    setfield(chooser.name, name, true);
    if (!openfolder(folder, name) && !openfolder("/", ""))
        chooser.listing = {"/", {}};
}

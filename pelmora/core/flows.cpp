#include "flows.h"
#include "designer.h"
#include "dirlist.h"
#include "display.h"
#include "document.h"
#include "filedialog.h"
#include "history.h"
#include "msgbox.h"
#include "png.h"
#include "pngdialogs.h"
#include "pngexport.h"
#include "preview.h"
#include "recompile.h"
#include "screenstate.h"
#include "texscript.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

constexpr size_t messagepathlimit = 72;        // characters of a path in a message box

std::string shortpath(const std::string &path, size_t limit)
{
    if (path.size() <= limit)
        return path;
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string head = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    size_t namelimit = limit / 2;
    if (name.size() > namelimit) {
        size_t keep = namelimit - 3, tail = keep - keep / 2;     // the end (its extension) first
        name = name.substr(0, keep - tail) + "..." + name.substr(name.size() - tail);
    }
    if (head.size() + name.size() <= limit)
        return head + name;
    // The first folder (or as much of it as fits), then "...".
    size_t room = limit > name.size() + 5 ? limit - name.size() - 5 : 0;
    size_t cut = head.find('/', 1);
    cut = cut == std::string::npos || cut > room ? room : cut;
    return head.substr(0, cut) + "/.../" + name;
}

// The system's reason for a path that cannot be used, asked again: the
// path, else the folder it stands in.
static std::string reasonof(const char *path)
{
    struct stat st;
    if (stat(path, &st) != 0 && errno != ENOENT)
        return std::strerror(errno);
    std::string folder(path, size_t(lastpart(path) - path));
    if (folder.empty())
        folder = ".";
    if (stat(folder.c_str(), &st) != 0)
        return std::strerror(errno);
    if (access(folder.c_str(), W_OK) != 0)
        return std::strerror(errno);
    return "";
}

// "cannot open x.tx: ..." as a sentence, the path in it shortened. The file
// layer's message has room for a few hundred characters: with a longer
// path it ends inside the path, and the reason is asked of the system.
std::string failuretext(const char *why, const char *path)
{
    std::string text = why[0] ? why : "unknown error";
    std::string whole = path;
    size_t at = text.find(whole);
    if (at != std::string::npos) {
        text.replace(at, whole.size(), shortpath(whole, messagepathlimit));
    } else if (size_t part = text.find(whole.substr(0, std::min<size_t>(whole.size(), 32)));
               part != std::string::npos) {
        std::string reason = reasonof(path);
        text = text.substr(0, part) + shortpath(whole, messagepathlimit) + (reason.empty() ? "" : ": " + reason);
    }
    text[0] = char(std::toupper(static_cast<unsigned char>(text[0])));
    if (text.back() != '.')
        text += '.';
    return text;
}

static void report(const char *title, const char *why, const char *path)
{
    showmessage(title, failuretext(why, path), messageok, true);
}

// A script that loaded replaced the texture and its compiled expression
// (none when it does not compile: the screen then shows why); the preview
// is built anew, and the load is one step of the history.
static void loaded(const char *path)
{
    notecompile(texscripts.func);
    screen.textversion++;
    screen.compiledversion = screen.textversion;
    screen.rebuild = 1;
    screen.rendernow = 1;
    screen.editor.modified = 0;
    screen.compileat = 0.0;
    commit(steploaded, committext | commitvalues);
    notesaved(path);
}

// A script that does not load leaves everything as it was.
static void load(const char *path)
{
    char why[texwhysize];
    if (!loaddesign(path, why, sizeof why)) {
        report("Cannot load texture script", why, path);
        return;
    }
    loaded(path);
}

void loadflow()
{
    flipgdi();
    choosefile("Load texture script...", texturefilters, "TX", load);
}

static void (*aftersave)();

static void save(const char *path)
{
    if (!savetexture(path)) {
        report("Cannot save texture script", texscripts.why, path);
        return;
    }
    notesaved(path);
    if (void (*next)() = aftersave) {
        aftersave = nullptr;
        next();
    }
}

void savethen(void (*then)())
{
    aftersave = then;
    flipgdi();
    choosesavefile("Save texture script...", texturefilters, "TX", save);
}

void saveflow()
{
    savethen(nullptr);
}

// The PNG export: the chosen file, then the size question, then the
// export (under way over several frames for a side above 256).
static std::string pngpath;
static exportjob pngjob;

static void exported(int answer)
{
    if (answer == pngexportcancelled)
        exportabort(pngjob);
    else if (answer == pngexportfailed)
        report("Cannot save PNG", pngjob.writer.message, pngpath.c_str());
}

static void sized(int answer)
{
    if (answer <= 0)
        return;
    const surfaceoptions o = pngchoiceof(answer);
    if (!exportbegin(pngjob, pngpath.c_str(), o)) {
        report("Cannot save PNG", pngjob.writer.message, pngpath.c_str());
        return;
    }
    if (o.side != previewside)
        showpngexport(pngjob, lastpart(pngpath.c_str()), o, exported);
}

static void exportpng(const char *path)
{
    pngpath = path;
    askpngsize(lastpart(path), sized);
}

// The dialog proposes the last script's name without its extension, in
// its folder. Only the name is cut: a "." in a folder's name is no
// extension, and a name without any "." is proposed empty.
void pngflow()
{
    flipgdi();
    char *name = filedialog.filename + (lastpart(filedialog.filename) - filedialog.filename);
    *fileextension(name) = 0;
    choosesavefile("Save PNG...", pngfilters, "PNG", exportpng);
}

// ---- before work is thrown away ---------------------------------------------

static void (*afterquestion)();

static void answered(int answer)
{
    void (*next)() = afterquestion;
    afterquestion = nullptr;
    if (answer == answersave)
        savethen(next);
    else if (answer == answerdiscard && next)
        next();
}

void unlessunsaved(void (*next)())
{
    if (!unsaved()) {
        next();
        return;
    }
    afterquestion = next;
    showmessage("Unsaved changes", "Save changes to " + documentname() + "?", messagesavediscard, false, answered);
}

// Closing while an export runs (nothing unsaved: the window's close does
// not wait for the dialog) gives the export up: no half file stays behind.
static void closenow()
{
    exportabort(pngjob);
    requestclose();
}

void closedesigner()
{
    unlessunsaved(closenow);
}

void loadunlessunsaved()
{
    unlessunsaved(loadflow);
}

// ---- the script changed on disk ---------------------------------------------

static void reload()
{
    char why[texwhysize];
    std::string path = document.path;
    if (!loaddesign(path.c_str(), why, sizeof why)) {
        report("Cannot reload texture script", why, path.c_str());
        return;
    }
    loaded(path.c_str());
    setstatus(5.0, "%s changed on disk and was reloaded.", documentname().c_str());
}

static void reloadanswered(int answer)
{
    if (answer == answeryes)
        reload();
}

void offerreload()
{
    document.changed = 0;
    document.stamp = document.seen;
    if (!unsaved()) {
        reload();
        return;
    }
    showmessage("Changed on disk",
                documentname() + " was changed by another program.\nReload it and lose the changes made here?",
                messageyesno, false, reloadanswered);
}

// The built-in file chooser: its folder, selection, keys, mouse and the
// checks before a path is chosen. Drawing is in chooserdraw.cpp.
#include "chooser.h"
#include "app.h"
#include "draw.h"
#include "input.h"
#include "keys.h"
#include "screen.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

chooserstate chooser;

constexpr int wheelrows = 3;            // entries per wheel notch

// ---- the folder and the selection -------------------------------------------

static int entrycount()
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
static void select(int i)
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

static void reread()
{
    openfolder(chooser.listing.path, selectedname());
}

// Up one folder, the one we came from selected.
static void parent()
{
    std::string from = chooser.listing.path;
    if (from == "/")
        return;
    std::string up = parentfolder(from);
    chooser.message.clear();
    openfolder(up, from.substr(up.size(), from.size() - up.size() - 1));
}

static void setfilter(int f)
{
    f = std::clamp(f, 0, chooser.filtercount - 1);
    if (f == chooser.filter)
        return;
    chooser.filter = f;
    reread();
}

// ---- choosing ----------------------------------------------------------------

static void toolong()
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
        toolong();
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
        chooser.message = "Folder not found: " + folderof(full);
        return;
    }
    if (chooser.request.save) {
        chooseforsave(full);
        return;
    }
    if (isregular(full))
        choose(full);
    else if (full != plain && isregular(plain))
        choose(plain);              // "notes" exists, "notes.tx" does not
    else if (exists(full))
        chooser.message = "Not a regular file: " + std::string(lastpart(full.c_str()));
    else
        chooser.message = "File not found: " + std::string(lastpart(full.c_str()));
}

// A folder entry opens; a file entry is chosen (asking before a save
// replaces it).
static void activate(int i)
{
    if (i < 0 || i >= entrycount())
        return;
    const direntry &e = chooser.listing.entries[size_t(i)];
    chooser.message.clear();
    if (e.name == "..") {
        parent();
        return;
    }
    std::string path = chooser.listing.path + e.name;
    if (e.folder) {
        if (path.size() + 1 >= size_t(chooser.size))
            toolong();
        else
            openfolder(path + "/", "");
        return;
    }
    if (path.size() >= size_t(chooser.size)) {
        toolong();
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
static void confirm()
{
    if (chooser.focus == focuslist && chooser.selected >= 0) {
        activate(chooser.selected);
        return;
    }
    if (chooser.name.text.empty()) {
        activate(chooser.selected);
        return;
    }
    chooser.message.clear();
    choosetyped(chooser.name.text);
}

static void cancel()
{
    chooser.result = 0;
}

// ---- keys --------------------------------------------------------------------

static void listkey(int scan)
{
    int s = chooser.selected, last = entrycount() - 1;
    switch (scan) {
    case scanup:
        s = s < 0 ? 0 : s - 1;
        break;
    case scandown:
        s = s < 0 ? 0 : s + 1;
        break;
    case scanpageup:
        s -= choosershownrows - 1;
        break;
    case scanpagedown:
        s = s < 0 ? choosershownrows - 1 : s + choosershownrows - 1;
        break;
    case scanhome:
        s = 0;
        break;
    default:
        s = last;
        break;
    }
    chooser.focus = focuslist;
    select(s);
}

static void filterkey(int scan)
{
    switch (scan) {
    case scanup:
    case scanleft:
        setfilter(chooser.filter - 1);
        break;
    case scandown:
    case scanright:
        setfilter(chooser.filter + 1);
        break;
    case scanhome:
        setfilter(0);
        break;
    case scanend:
        setfilter(chooser.filtercount - 1);
        break;
    default:
        break;
    }
}

static void namekey(uint32_t event)
{
    int result = fieldkey(chooser.name, event);
    if (result == fieldfull)
        toolong();
    else if (result == fieldchanged)
        chooser.message.clear();
}

// The filter's list, while open, takes the keys.
static void dropkey(int scan)
{
    switch (scan) {
    case scanup:
        chooser.dropitem = std::max(chooser.dropitem - 1, 0);
        break;
    case scandown:
        chooser.dropitem = std::min(chooser.dropitem + 1, chooser.filtercount - 1);
        break;
    case scanenter:
    case scankpenter:
    case scanspace:
        setfilter(chooser.dropitem);
        chooser.dropped = false;
        break;
    case scanesc:
    case scantab:
        chooser.dropped = false;
        break;
    default:
        break;
    }
}

static bool islistkey(int scan)
{
    return scan == scanup || scan == scandown || scan == scanpageup || scan == scanpagedown || scan == scanhome ||
           scan == scanend;
}

static void chooserkey(uint32_t event)
{
    int scan = keyscan(event);
    int focus = chooser.focus;
    chooser.blink = modal.now + 1.0;
    if (chooser.asking) {
        messagekey(chooser.question, event);
        return;
    }
    if (chooser.dropped) {
        dropkey(scan);
        return;
    }
    if (scan == scanesc) {
        cancel();
    } else if (scan == scanenter || scan == scankpenter) {
        confirm();
    } else if (scan == scantab) {
        chooser.focus = (focus + (keyshift(event) ? focuscount - 1 : 1)) % focuscount;
    } else if (scan == scanup && (event & modalt)) {
        parent();
    } else if (scan == scanf5) {
        reread();
    } else if (focus == focustype && (islistkey(scan) || scan == scanleft || scan == scanright)) {
        filterkey(scan);
    } else if (focus == focustype && scan == scanspace) {
        chooser.dropped = true;
        chooser.dropitem = chooser.filter;
    } else if (focus == focusname && scan != scanup && scan != scandown && scan != scanpageup &&
               scan != scanpagedown) {
        namekey(event);
    } else if (islistkey(scan)) {
        listkey(scan);
    } else if (scan == scanbackspace) {
        parent();
    } else if (keychar(event) >= 32 && !(event & (modctrl | modalt))) {
        chooser.focus = focusname;
        namekey(event);
    }
}

// ---- mouse -------------------------------------------------------------------

static int partat(const chooserlayout &l, int x, int y)
{
    const struct {
        const rect *r;
        int part;
    } parts[] = {{&l.up, partup},     {&l.rows, partrows}, {&l.scroll, partscroll}, {&l.name, partname},
                 {&l.type, parttype}, {&l.ok, partok},     {&l.cancel, partcancel}};
    for (const auto &p : parts)
        if (p.r->contains(x, y))
            return p.part;
    return partnone;
}

// The entry under y in the rows, -1 below the last.
static int entryat(const chooserlayout &l, int y)
{
    int i = chooser.top + (y - l.rows.y) / chooserrowheight;
    return i < entrycount() ? i : -1;
}

static void scrollto(int top)
{
    chooser.top = std::clamp(top, 0, std::max(entrycount() - choosershownrows, 0));
}

static void pressrows(const chooserlayout &l, int y)
{
    chooser.focus = focuslist;
    int i = entryat(l, y);
    if (i < 0)
        return;
    bool twice = i == chooser.lastclick && modal.now - chooser.lastclicktime < doubleclicktime;
    select(i);
    chooser.lastclick = twice ? -1 : i;
    chooser.lastclicktime = modal.now;
    if (twice)
        chooser.activate = i;
}

static void pressscroll(const chooserlayout &l, int y)
{
    rect thumb = chooserthumb(l);
    if (y < thumb.y) {
        scrollto(chooser.top - (choosershownrows - 1));
    } else if (y >= thumb.y + thumb.h) {
        scrollto(chooser.top + (choosershownrows - 1));
    } else {
        chooser.dragging = true;
        chooser.dragoffset = y - thumb.y;
    }
}

static void dragthumb(const chooserlayout &l, int y)
{
    rect thumb = chooserthumb(l);
    int travel = l.scroll.h - thumb.h, hidden = entrycount() - choosershownrows;
    if (travel <= 0 || hidden <= 0)
        return;
    int at = std::clamp(y - chooser.dragoffset - l.scroll.y, 0, travel);
    scrollto((at * hidden + travel / 2) / travel);
}

static void press(const chooserlayout &l, int x, int y)
{
    int part = partat(l, x, y);
    chooser.pressed = part;
    switch (part) {
    case partrows:
        pressrows(l, y);
        break;
    case partscroll:
        pressscroll(l, y);
        break;
    case partname:
        chooser.focus = focusname;
        fieldclick(chooser.name, x - (l.name.x + 4));
        chooser.blink = modal.now + 1.0;
        break;
    case parttype:
        chooser.focus = focustype;
        chooser.dropped = true;
        chooser.dropitem = chooser.filter;
        break;
    default:
        break;
    }
}

static void release(const chooserlayout &l, int x, int y)
{
    int part = partat(l, x, y);
    if (part == chooser.pressed) {
        if (part == partup)
            parent();
        else if (part == partok)
            confirm();
        else if (part == partcancel)
            cancel();
        else if (part == partrows && chooser.activate >= 0 && entryat(l, y) == chooser.activate)
            activate(chooser.activate);
    }
    chooser.pressed = partnone;
    chooser.dragging = false;
    chooser.activate = -1;
}

// The filter's list, while open, takes the mouse: a press on an entry
// chooses it, a press elsewhere only closes the list.
static void dropmouse(const chooserlayout &l, int x, int y)
{
    if (l.drop.contains(x, y))
        chooser.dropitem = std::clamp((y - l.drop.y - 1) / 12, 0, chooser.filtercount - 1);
    if (!modal.pressed)
        return;
    if (l.drop.contains(x, y))
        setfilter(chooser.dropitem);
    chooser.dropped = false;
    chooser.pressed = partnone;     // the press is used up
}

static void choosermouse(const chooserlayout &l)
{
    int x = screen.mousex, y = screen.mousey;
    if (chooser.asking) {
        messagemouse(chooser.question);
        return;
    }
    int wheel = readwheel();
    if (wheel)
        scrollto(chooser.top - wheel * wheelrows);
    if (chooser.dropped && !(modal.pressed && l.type.contains(x, y))) {
        dropmouse(l, x, y);
        return;
    }
    if (modal.pressed) {
        if (chooser.dropped) {          // a second press on the filter closes its list
            chooser.dropped = false;
            chooser.pressed = partnone;
            return;
        }
        press(l, x, y);
    }
    if (modal.held && chooser.dragging)
        dragthumb(l, y);
    if (modal.released)
        release(l, x, y);
}

// The answer to the overwrite question.
static void stepquestion()
{
    if (!chooser.asking || chooser.question.result < 0)
        return;
    chooser.asking = false;
    if (chooser.question.result == 1)
        choose(chooser.pending);
    else
        chooser.focus = focusname;
}

// ---- the dialog ----------------------------------------------------------------

static std::string currentfolder()
{
    char *cwd = getcwd(nullptr, 0);
    std::string folder = cwd ? realfolder(cwd) : "";
    std::free(cwd);
    return folder.empty() ? "/" : folder;
}

// The folder of the proposed path when it has one, else the request's,
// else the current folder; the name field gets the proposed path's last part.
static void start(const filerequest &request, const char *defext, int size)
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

static bool cursorshown()
{
    while (chooser.blink < modal.now)
        chooser.blink += 1.0;
    return chooser.blink - modal.now > 0.5;
}

int runchooser(const filerequest &request, const char *defext, char *path, int size)
{
    start(request, defext, size);
    modalopen();
    while (chooser.result < 0) {
        int f = modalframe();
        if (f == modalclosing) {
            chooser.result = 0;
            break;
        }
        if (f == modalskipped)
            continue;
        chooserlayout l = chooserlayoutof(modal.width, modal.height);
        while (uint32_t event = getkeyevent())
            if (chooser.result < 0) {
                chooserkey(event);
                stepquestion();
            }
        if (chooser.result < 0) {
            choosermouse(l);
            stepquestion();
        }
        if (chooser.result >= 0)
            break;
        drawchooser(l, cursorshown());
        modalpresent();
    }
    modalclose();
    if (chooser.result != 1 || chooser.chosen.size() >= size_t(size))
        return 0;
    std::memcpy(path, chooser.chosen.c_str(), chooser.chosen.size() + 1);
    return 1;
}

// The file dialogs and the flows around them (load, save, PNG, the question
// before unsaved work goes, a reload), driven headless: a key opens a
// dialog in the frame it acts in, and each later frame takes what was typed
// and clicked before it, as a person would.
#include "chooser.h"
#include "chooserdialog.h"
#include "chooserdraw.h"
#include "designer.h"
#include "dialog.h"
#include "document.h"
#include "editor.h"
#include "filedialog.h"
#include "flows.h"
#include "textfield.h"
#include "golden.h"
#include "headless.h"
#include "input.h"
#include "keys.h"
#include "msgbox.h"
#include "pointset.h"
#include "pngdialogs.h"
#include "preview.h"
#include "screen.h"
#include "screenstate.h"
#include "texscript.h"

#include "support/command.h"
#include "support/pngread.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

namespace {

// A new empty folder for this test, its real path ending in "/".
std::string newfolder(const std::string &name)
{
    std::string path = scratchpath(name);
    EXPECT_EQ(mkdir(path.c_str(), 0777), 0) << path;
    return realfolder(path);
}

void writefile(const std::string &path, const std::string &text)
{
    writebytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string readfile(const std::string &path)
{
    std::vector<uint8_t> bytes = readbytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Every name in a folder, in order (temporary files included).
std::vector<std::string> foldernames(const std::string &path)
{
    std::vector<std::string> names = listdir(path);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> shownnames()
{
    std::vector<std::string> names;
    for (const direntry &e : chooser.listing.entries)
        names.push_back(e.name);
    return names;
}

std::string shownmessagetext()
{
    std::string text;
    for (const std::string &line : shownmessage.lines)
        text += line + " ";
    return text;
}

bool frameshows(uint32_t colour)
{
    for (uint32_t p : headless.pixels)
        if (p == colour)
            return true;
    return false;
}

std::string toolongmessage()
{
    return "The path is too long: a path has at most " + std::to_string(filenamesize - 1) + " bytes.";
}

// The dimmed preview beside a dialog's box (and its shadow) in an 800 x 600
// shot, checked and cut out: golden frames hold the dialog, not the texture.
void cutdimmedpreview(std::vector<uint32_t> &shot, const rect &box)
{
    for (int y = 40; y < 40 + previewside; y++)
        for (int x = 20; x < 20 + previewside; x++) {
            uint32_t &p = shot[size_t(y) * 800 + size_t(x)];
            if (!box.contains(x, y) && !box.contains(x - 4, y - 4)) {
                EXPECT_EQ(p, preview.image[(y - 40) * previewside + x - 20] >> 1 & 0x7F7F7F) << x << "," << y;
                p = 0;
            }
        }
}

// What a person does, each followed by the frame that takes it.
void key(int scan, int character = 0, uint32_t modifiers = 0)
{
    presskey(scan, character, modifiers);
    headlessframe();
}

void type(const std::string &text)
{
    typetext(text);
    headlessframe();
}

void button(bool down)
{
    setbutton(0, down);
    headlessframe();
}

struct ChooserTest : ::testing::Test {
    std::string dir;

    void SetUp() override { start(); }

    // A fresh designer whose first dialog opens in a fresh folder.
    void start(bool fullscreen = false)
    {
        static int folders = 0;
        headlessstart(fullscreen);
        dir = newfolder("files" + std::to_string(folders++));
        std::snprintf(filedialog.startdir, sizeof filedialog.startdir, "%s", dir.c_str());
        headlessframe();
    }

    // The frame in which the F-key acts opens a dialog, drawn at once.
    void openby(int scan)
    {
        key(scan);
        EXPECT_TRUE(dialogopen()) << "no dialog after key " << scan;
    }

    // ... and answered with a typed name and Enter.
    void choose(int scan, const std::string &name)
    {
        openby(scan);
        type(name);
        key(scanenter);
    }
};

// ---- the built-in chooser ---------------------------------------------------

TEST_F(ChooserTest, ListsFoldersFirstThenMatchingFilesAndSwitchesToAllFiles)
{
    for (const char *name : {"rock.tx", "Stone.TX", "texture_10.tx", "texture_2.tx", "notes.txt", "pic.png",
                             ".hidden.tx"})
        writefile(dir + name, "x");
    mkdir((dir + "b_dir").c_str(), 0777);
    mkdir((dir + "A_dir").c_str(), 0777);
    openby(scanf2);
    EXPECT_EQ(chooser.listing.path, dir);       // the first dialog opens in the start-up directory
    EXPECT_EQ(shownnames(), (std::vector<std::string>{"..", "A_dir", "b_dir", "rock.tx", "Stone.TX",
                                                      "texture_2.tx", "texture_10.tx"}));
    presskey(scantab);                          // to the list
    presskey(scantab);                          // to the filter
    key(scandown);
    EXPECT_EQ(shownnames(), (std::vector<std::string>{"..", "A_dir", "b_dir", "notes.txt", "pic.png", "rock.tx",
                                                      "Stone.TX", "texture_2.tx", "texture_10.tx"}));
    key(scanesc);
    EXPECT_STREQ(filedialog.filename, "");
}

// A name without an extension gets the default one in lower case; typed
// code page 437 becomes UTF-8 in the path; refused names say why, with the
// system's reason, and keep the dialog open.
TEST_F(ChooserTest, TypedNamesBecomePaths)
{
    const struct {
        int key;
        const char *typed;      // code page 437
        const char *file;       // UTF-8, under the folder; null: refused
        const char *message;    // the error line for a refused name (DIR the folder, LOOP the system's reason)
    } rows[] = {
        {scanf3, "rock", "rock.tx", nullptr},
        {scanf3, "rock.v2", "rock.v2", nullptr},            // has an extension
        {scanf3, "sub/deep", "sub/deep.tx", nullptr},
        {scanf3, "\x81" "ber", "\xC3\xBC" "ber.tx", nullptr},
        {scanf4, "pic", "pic.png", nullptr},
        {scanf3, "sub", nullptr, nullptr},                  // a folder opens
        {scanf3, "none/x", nullptr, "Folder not found: DIRnone/"},
        {scanf2, "pipe", nullptr, "Not a regular file: pipe.tx"},
        {scanf2, "loop", nullptr, "Cannot open loop.tx: LOOP"},               // a link to itself
        {scanf2, "loopdir/x", nullptr, "Cannot open the folder DIRloopdir/: LOOP"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.typed);
        start();
        mkdir((dir + "sub").c_str(), 0777);
        ASSERT_EQ(mkfifo((dir + "pipe.tx").c_str(), 0666), 0);
        ASSERT_EQ(symlink("loop.tx", (dir + "loop.tx").c_str()), 0);
        ASSERT_EQ(symlink("loopdir", (dir + "loopdir").c_str()), 0);
        choose(r.key, r.typed);
        if (r.file && r.key == scanf4) {
            EXPECT_EQ(modal.kind, &pngsizedialog);      // Enter keeps the size of the preview
            key(scanenter);
        }
        if (r.file) {
            EXPECT_FALSE(dialogopen());
            EXPECT_STREQ(filedialog.filename, (dir + r.file).c_str());
            EXPECT_TRUE(fileexists(dir + r.file));
            continue;
        }
        std::string message = r.message ? r.message : "";
        for (auto [from, to] : {std::pair<std::string, std::string>("DIR", dir), {"LOOP", std::strerror(ELOOP)}})
            if (size_t at = message.find(from); at != std::string::npos)
                message.replace(at, from.size(), to);
        EXPECT_EQ(chooser.message, message);
        EXPECT_EQ(chooser.listing.path, dir + (r.message ? "" : "sub/"));
        key(scanesc);
        EXPECT_STREQ(filedialog.filename, "");
    }
}

// The buffer holds 4095 bytes and a NUL: a longer name or path is refused
// with a message, never cut.
TEST_F(ChooserTest, PathLongerThanTheBufferIsRefused)
{
    openby(scanf3);
    setfield(chooser.name, std::string(size_t(filenamesize) - 2, 'a'), false);
    type("bc");
    EXPECT_EQ(chooser.name.text, std::string(size_t(filenamesize) - 2, 'a') + "b");
    EXPECT_EQ(chooser.message, toolongmessage());
    key(scanenter);
    EXPECT_EQ(chooser.message, toolongmessage());      // the folder and ".tx" make it longer still
    key(scanesc);
    EXPECT_STREQ(filedialog.filename, "");
}

// A subfolder whose path is longer than a path can be (the folders above
// it made one at a time) is listed as the folder it is, and opening it
// says why it cannot be.
TEST_F(ChooserTest, FolderWithTooLongAPathIsListedAndRefused)
{
    std::string deepest = dir, part(100, 'd'), sub(200, 's');
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    for (; fd >= 0 && deepest.size() < 3900; deepest += part + "/") {
        mkdirat(fd, part.c_str(), 0777);
        int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    ASSERT_EQ(mkdirat(fd, sub.c_str(), 0777), 0);
    close(fd);
    std::snprintf(filedialog.startdir, sizeof filedialog.startdir, "%s", deepest.c_str());
    openby(scanf2);
    EXPECT_EQ(chooser.listing.path, deepest);
    ASSERT_EQ(shownnames(), (std::vector<std::string>{"..", sub}));
    EXPECT_TRUE(chooser.listing.entries[1].folder);
    presskey(scantab);                          // to the list
    presskey(scanend);
    key(scanenter);
    EXPECT_EQ(chooser.listing.path, deepest);
    EXPECT_EQ(chooser.message, toolongmessage());
}

TEST_F(ChooserTest, SaveAsksBeforeReplacingAFile)
{
    const struct {
        int answer;             // key
        bool replaced;
    } rows[] = {{0x15 /* Y */, true}, {0x31 /* N */, false}, {scanesc, false}, {scanenter, false}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.answer);
        start();
        writefile(dir + "rock.tx", "OLD");
        choose(scanf3, "rock");
        EXPECT_TRUE(chooser.asking);
        EXPECT_EQ(chooser.question.title, "Confirm Save As");
        key(r.answer, r.answer == 0x15 ? 'y' : r.answer == 0x31 ? 'n' : 0);
        EXPECT_EQ(dialogopen(), !r.replaced);   // No goes back to the chooser
        if (!r.replaced) {
            EXPECT_TRUE(chooser.result < 0 && !chooser.asking && chooser.focus == focusname);
            key(scanesc);
        }
        ASSERT_EQ(savetexture((dir + "expected.tx").c_str()), 1);
        EXPECT_EQ(readfile(dir + "rock.tx"), r.replaced ? readfile(dir + "expected.tx") : "OLD");
        EXPECT_STREQ(filedialog.filename, r.replaced ? (dir + "rock.tx").c_str() : "");
    }
}

// Open refuses a missing file; cancelling then leaves the name buffer, the
// texture and the screen as they were.
TEST_F(ChooserTest, OpenRefusesAMissingFileAndCancelChangesNothing)
{
    std::snprintf(filedialog.filename, filenamesize, "%skeep.tx", dir.c_str());
    texturescript before = texscripts.script;
    exprfunc func = texscripts.func;
    openby(scanf2);
    EXPECT_EQ(chooser.name.text, "keep.tx");
    type("missing");                            // replaces the proposed name
    key(scanenter);
    EXPECT_EQ(chooser.message, "File not found: missing.tx");
    inputkeydown(scanesc, 0);                   // still held when the dialog has closed
    headlessframe();
    EXPECT_FALSE(dialogopen());
    inputkeydown(scanesc, 1);                   // and repeating
    inputkeydown(scanesc, 1);
    inputkeyup(scanesc);
    EXPECT_STREQ(filedialog.filename, (dir + "keep.tx").c_str());
    EXPECT_EQ(std::memcmp(&before, &texscripts.script, sizeof before), 0);
    EXPECT_EQ(texscripts.func, func);
    EXPECT_EQ(headless.closes, 0);              // the ESC was the dialog's

    // The next frame is the one a designer that never saw the dialog draws
    // at the same time.
    double now = headless.now;
    headlessframe();
    EXPECT_EQ(headless.closes, 0);              // and so were its repeats
    std::vector<uint32_t> after = framepixels();
    headlessstart();
    headless.now = now;
    headlessframe();
    EXPECT_TRUE(framepixels() == after);
}

// While a dialog is open the designer's frame goes on under it, dimmed, but
// its controls take neither the mouse nor the keys; the frame the dialog
// closes in is the designer's own again.
TEST_F(ChooserTest, DesignerFrameGoesOnUnderTheDialogWithoutInput)
{
    moveto(28, 400);                            // R of group 1, beside the dialog's box
    headlessframe();
    setbutton(0, true);                         // held on the slider: its capture
    headlessframe();
    ASSERT_NE(screen.active, nocontrol);
    openby(scanf3);
    float weight = texscripts.script.weights[0][0];
    std::string body = screen.editor.body;
    moveto(28, 460);                            // drags nothing now
    headlessframe();
    EXPECT_EQ(screen.active, nocontrol);        // the dialog took the capture
    for (bool down : {false, true, false})
        button(down);
    type("xyz");                                // to the name field, not the editor
    EXPECT_EQ(texscripts.script.weights[0][0], weight);
    EXPECT_EQ(screen.editor.body, body);
    EXPECT_EQ(chooser.name.text, "xyz");
    EXPECT_EQ(screen.hover, nocontrol);

    std::vector<uint32_t> under = framepixels();
    key(scanesc);
    std::vector<uint32_t> designer = framepixels();
    chooserlayout l = chooserlayoutof(800, 600);
    int differ = 0;
    for (int i = 0, x = 0, y = 0; i < 800 * 600; i++, x = i % 800, y = i / 800) {
        bool shown = l.box.contains(x, y) || l.box.contains(x - 4, y - 4) || (abs(x - 28) <= 8 && abs(y - 460) <= 8);
        differ += !shown && under[size_t(i)] != (designer[size_t(i)] >> 1 & 0x7F7F7F);     // dialog, cursor
    }
    EXPECT_EQ(differ, 0);
}

// Backspace edits the name while the name field has the focus and goes up
// a folder while the list has it; typing in the list goes to the name.
TEST_F(ChooserTest, FocusDecidesWhatBackspaceDoes)
{
    mkdir((dir + "sub").c_str(), 0777);
    std::snprintf(filedialog.startdir, sizeof filedialog.startdir, "%ssub/", dir.c_str());
    openby(scanf2);
    typetext("ab");
    key(scanbackspace);
    EXPECT_EQ(chooser.name.text, "a");
    EXPECT_EQ(chooser.listing.path, dir + "sub/");
    presskey(scantab);
    key(scanbackspace);
    EXPECT_EQ(chooser.listing.path, dir);
    EXPECT_EQ(chooser.listing.entries[size_t(chooser.selected)].name, "sub");  // the folder we came from
    type("z");
    EXPECT_EQ(chooser.name.text, "az");
    EXPECT_EQ(chooser.focus, focusname);
    key(scanesc);
}

// The wheel scrolls three entries a notch; a double click opens a folder
// and chooses a file.
TEST_F(ChooserTest, MouseWheelClickAndDoubleClick)
{
    for (int i = 0; i < 40; i++)
        writefile(dir + "f" + std::to_string(i) + ".tx", "x");
    mkdir((dir + "sub").c_str(), 0777);
    texturescript inner = texscripts.script;
    inner.weights[1][2] = 3.5f;
    derivechannels(inner);
    ASSERT_EQ(savescript(inner, (dir + "sub/inner.tx").c_str()), 1);

    chooserlayout l = chooserlayoutof(800, 600);
    int x = l.rows.x + 40;
    auto rowy = [&](int entry) { return l.rows.y + entry * chooserrowheight + 4; };
    openby(scanf2);
    inputwheel(-1);
    headlessframe();
    EXPECT_EQ(chooser.top, 3);
    inputwheel(1);
    headlessframe();
    EXPECT_EQ(chooser.top, 0);
    moveto(x, rowy(1));                         // "sub"
    headlessframe();
    for (bool down : {true, false, true, false})
        button(down);
    EXPECT_EQ(chooser.listing.path, dir + "sub/");
    setbutton(0, true);                         // a short click on "inner.tx": released before a frame
    setbutton(0, false);
    headlessframes(2);
    EXPECT_EQ(chooser.name.text, "inner.tx");
    button(true);
    button(false);
    EXPECT_FALSE(dialogopen());
    EXPECT_STREQ(filedialog.filename, (dir + "sub/inner.tx").c_str());
    EXPECT_EQ(texscripts.script.weights[1][2], 3.5f);
}

// The chooser pixel for pixel (the folder's path and the dimmed preview
// behind it are cut out: they depend on where and when the test runs).
TEST_F(ChooserTest, GoldenChooser)
{
    setenv("TZ", "UTC", 1);
    tzset();
    mkdir((dir + "textures").c_str(), 0777);
    writefile(dir + "rock.tx", std::string(100, 'r'));
    writefile(dir + "stone.tx", std::string(2000, 's'));
    writefile(dir + "notes.txt", "n");
    const utimbuf when = {1062417600, 1062417600};  // 2003-09-01 12:00 UTC
    for (const char *name : {"textures", "rock.tx", "stone.tx"})
        utime((dir + name).c_str(), &when);
    std::snprintf(filedialog.filename, filenamesize, "%srock.tx", dir.c_str());
    openby(scanf3);
    key(scandown);
    std::vector<uint32_t> shot = framepixels();
    key(scanesc);
    chooserlayout l = chooserlayoutof(800, 600);
    auto at = [&](int x, int y) -> uint32_t & { return shot[size_t(y) * 800 + size_t(x)]; };
    for (int y = l.path.y + 1; y < l.path.y + l.path.h - 1; y++)
        for (int x = l.path.x + 1; x < l.path.x + l.path.w - 1; x++)
            at(x, y) = 0;
    cutdimmedpreview(shot, l.box);
    EXPECT_EQ(comparegolden("chooser", shot, 800, 600), "");
}

// In full screen the chooser stands in the middle of the 1024 x 768 frame.
TEST_F(ChooserTest, CentredInFullScreen)
{
    start(true);
    openby(scanf2);
    std::vector<uint32_t> shot = framepixels();
    key(scanesc);
    ASSERT_EQ(shot.size(), size_t(1024 * 768));
    chooserlayout l = chooserlayoutof(1024, 768);
    auto at = [&](int x, int y) { return shot[size_t(y) * 1024 + size_t(x)]; };
    EXPECT_EQ(at(l.box.x, l.box.y), dialogbar);
    EXPECT_EQ(at(l.box.x + l.box.w - 1, l.box.y + l.box.h - 1), dialogbar);
    EXPECT_EQ(at(l.box.x + l.box.w + 3, l.box.y + l.box.h + 3), 0u);  // its shadow
    EXPECT_EQ(at(l.box.x + 4, l.box.y + l.box.h - 4), dialogface);
    EXPECT_EQ(2 * l.box.x + l.box.w, 1024);
    EXPECT_LE(std::abs(2 * l.box.y + l.box.h - 768), 1);
}

// ---- the flows --------------------------------------------------------------

// A header line of another length is replaced by the standard one; the
// loaded texture is compiled and shown as txtool renders the same file.
TEST_F(ChooserTest, LoadScriptWithNonStandardHeader)
{
    texturescript odd = texscripts.script;
    const char *body = "d1*c1*sc + fn*c2";
    std::snprintf(odd.text, sizeof odd.text, "( vx, vy, vz, d1, d2, d3, c1, c2, c3, c4, fn, sc )\n%s", body);
    odd.weights[0][1] = -1.25f;
    odd.shape = 0.5f;
    derivechannels(odd);
    ASSERT_EQ(savescript(odd, (dir + "odd.tx").c_str()), 1);
    screen.editor.modified = 1;
    choose(scanf2, "odd");
    EXPECT_EQ(std::string(texscripts.script.text), std::string(exprheader) + body);
    EXPECT_EQ(screen.editor.length, int(std::strlen(body)));
    EXPECT_EQ(screen.editor.cursor, 0);
    EXPECT_EQ(screen.editor.modified, 0);
    ASSERT_NE(texscripts.func, nullptr);
    headlessframe();

    std::string png = dir + "odd-render.png", output;
    ASSERT_EQ(runcommand(std::string(TXTOOL) + " render " + dir + "odd.tx " + png + " 2>&1", &output), 0) << output;
    int w = 0, h = 0;
    std::vector<uint32_t> rendered;
    ASSERT_TRUE(readpng(png, &w, &h, &rendered));
    ASSERT_EQ(rendered.size(), size_t(previewsize));
    for (int i = 0; i < previewsize; i++)
        ASSERT_EQ(preview.image[i] | 0xFF000000u, rendered[size_t(i)]) << i;
}

// The chooser closes and, in the same frame, a message box says why the
// script did not load; nothing changed.
TEST_F(ChooserTest, ScriptThatDoesNotLoadSaysWhyAndChangesNothing)
{
    writefile(dir + "bad.tx", "hello");
    texturescript before = texscripts.script;
    exprfunc func = texscripts.func;
    choose(scanf2, "bad");
    ASSERT_TRUE(dialogopen());
    EXPECT_EQ(shownmessage.title, "Cannot load texture script");
    EXPECT_NE(shownmessagetext().find("bad.tx is not a texture script"), std::string::npos) << shownmessagetext();
    EXPECT_TRUE(frameshows(dialogerror) && frameshows(dialogerrorback));
    key(scanenter);
    EXPECT_EQ(std::memcmp(&before, &texscripts.script, sizeof before), 0);
    EXPECT_EQ(texscripts.func, func);
}

// Save, load and save again: the same bytes. The PNG dialog proposes the
// script's name without its extension, and its export is byte for byte
// what txtool renders from the saved script.
TEST_F(ChooserTest, SaveLoadSaveAndExport)
{
    texscripts.script.weights[2][1] = -1.875f;
    texscripts.script.lightangle = 0.75f;
    derivechannels(texscripts.script);
    screen.rendernow = 1;
    headlessframe();
    choose(scanf3, "a");
    texscripts.script.weights[2][1] = 0.0f;     // the load must bring it back
    key(scanf2);                                // unsaved: Discard, then "a.tx" is proposed
    key(scand, 'd');
    key(scanenter);
    EXPECT_EQ(texscripts.script.weights[2][1], -1.875f);
    headlessframe();
    choose(scanf3, "b");
    EXPECT_EQ(readfile(dir + "a.tx"), readfile(dir + "b.tx"));
    EXPECT_GT(readfile(dir + "a.tx").size(), 100u);

    openby(scanf4);
    EXPECT_EQ(chooser.name.text, "b");
    key(scanenter);
    EXPECT_EQ(modal.kind, &pngsizedialog);
    key(scanenter);
    EXPECT_FALSE(dialogopen());
    std::string output;
    ASSERT_EQ(runcommand(std::string(TXTOOL) + " render " + dir + "b.tx " + dir + "r.png 2>&1", &output), 0)
        << output;
    std::string exported = readfile(dir + "b.png");
    EXPECT_GT(exported.size(), size_t(previewsize) * 4);
    EXPECT_TRUE(exported == readfile(dir + "r.png"));
}

// The size question: Right twice and T give 1024, tiled; the export then
// runs a row of blocks a frame with its bar filling, and writes what
// txtool renders with the same choice. ESC in the question, Cancel (a
// click) while the export runs, and the window closed meanwhile (nothing
// unsaved: the designer ends at once) leave no file.
TEST_F(ChooserTest, PngSizeAndTiling)
{
    texscripts.script.weights[0][0] = 2.5f;
    derivechannels(texscripts.script);
    openby(scanf3);
    type("s");
    key(scanenter);
    auto ask = [&](const char *name, const char *keys) {
        openby(scanf4);
        setfield(chooser.name, name, false);
        key(scanenter);
        EXPECT_EQ(modal.kind, &pngsizedialog);
        EXPECT_EQ(pngsize.name, name + std::string(".png"));
        for (const char *k = keys; *k; k++)
            *k == '>' ? presskey(scanright) : typetext(std::string(1, *k));
    };
    ask("s", ">>t");
    key(scanenter);
    ASSERT_EQ(modal.kind, &pngexportdialog);
    EXPECT_EQ(pngexport.text, "s.png (1024 x 1024, seamless)");
    std::vector<double> progress = {0.0};
    for (int frames = 0; dialogopen() && frames < 100; frames++) {
        headlessframe();
        progress.push_back(exportprogress(*pngexport.job));
    }
    EXPECT_GE(progress.size(), 5u);                             // 4 rows of blocks, two passes
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    std::string output, render = std::string(TXTOOL) + " render " + dir + "s.tx " + dir + "t.png --size 1024 --tile";
    ASSERT_EQ(runcommand(render + " 2>&1", &output), 0) << output;
    EXPECT_TRUE(readfile(dir + "s.png") == readfile(dir + "t.png"));

    ask("q", "");
    key(scanesc);
    ask("c", ">");
    key(scanenter);
    headlessframe();                                            // one row of heights
    ASSERT_EQ(modal.kind, &pngexportdialog);
    const rect cancel = pngexportlayoutof(800, 600).cancel;
    moveto(cancel.x + 4, cancel.y + 4);
    button(true);
    button(false);
    EXPECT_FALSE(dialogopen());
    ask("d", ">");
    key(scanenter);
    headlessframe();
    EXPECT_EQ(foldernames(dir).size(), 4u);                     // the temporary file
    askclose();
    headlessframe();
    EXPECT_EQ(headless.closes, 1);
    EXPECT_EQ(foldernames(dir), (std::vector<std::string>{"s.png", "s.tx", "t.png"}));
}

// The size question pixel for pixel as it opens (256, not tiled, Save the
// default; the dimmed preview behind it cut out); then clicks on 2048, the
// tiling box and Save answer with them.
TEST_F(ChooserTest, GoldenPngQuestion)
{
    openby(scanf4);
    setfield(chooser.name, "rock", false);
    key(scanenter);
    ASSERT_EQ(modal.kind, &pngsizedialog);
    std::vector<uint32_t> shot = framepixels();
    const pngquestionlayout l = pngquestionlayoutof(800, 600);
    cutdimmedpreview(shot, l.box);
    EXPECT_EQ(comparegolden("pngsize", shot, 800, 600), "");
    for (int control : {3, int(pngtilebox), int(pngsave)}) {
        moveto(l.controls[control].x + 2, l.controls[control].y + 2);
        button(true);
        button(false);
    }
    EXPECT_EQ(pngsize.result, pnganswer(2048, true));
    EXPECT_EQ(pngchoiceof(pngsize.result).side, 2048);
    ASSERT_EQ(modal.kind, &pngexportdialog);
    key(scanesc);
    EXPECT_FALSE(dialogopen());
    EXPECT_FALSE(fileexists(dir + "rock.png"));
}

// The PNG dialog proposes the last name without its extension, in its
// folder; a "." in a folder's name is not an extension.
TEST_F(ChooserTest, PngDialogProposesTheNameWithoutItsExtension)
{
    const struct {
        const char *last;       // under the folder
        const char *buffer;     // after the cut
        const char *folder, *name;
    } rows[] = {
        {"my.folder/rock.tx", "my.folder/rock", "my.folder/", "rock"},
        {"my.folder/notes", "my.folder/", "my.folder/", ""},
        {"my.folder/.hidden", "my.folder/", "my.folder/", ""},
    };
    mkdir((dir + "my.folder").c_str(), 0777);
    for (const auto &r : rows) {
        SCOPED_TRACE(r.last);
        std::snprintf(filedialog.filename, filenamesize, "%s%s", dir.c_str(), r.last);
        openby(scanf4);
        EXPECT_EQ(std::string(filedialog.filename), dir + r.buffer);
        EXPECT_EQ(chooser.listing.path, dir + r.folder);
        EXPECT_EQ(chooser.name.text, r.name);
        key(scanesc);
    }
}

// A save that cannot be written says so and leaves the old file whole, with
// nothing else left in the folder. A read-only folder does not stop root;
// a file size limit stops everyone, halfway through the write.
TEST_F(ChooserTest, SaveThatFailsKeepsTheOldFile)
{
    enum { readonly, sizelimit };
    for (int row : {readonly, sizelimit}) {
        SCOPED_TRACE(row);
        if (row == readonly && geteuid() == 0) {
            std::printf("running as root: the read-only folder row is left out (root writes there)\n");
            continue;
        }
        start();
        std::string folder = dir + "keep/";
        mkdir(folder.c_str(), 0777);
        writefile(folder + "old.tx", "OLD SCRIPT");
        rlimit saved;
        getrlimit(RLIMIT_FSIZE, &saved);
        if (row == readonly) {
            chmod(folder.c_str(), 0555);
        } else {
            rlimit small = {100, saved.rlim_max};
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        choose(scanf3, "keep/old");
        key(0x15, 'y');
        setrlimit(RLIMIT_FSIZE, &saved);
        chmod(folder.c_str(), 0777);
        EXPECT_TRUE(dialogopen());
        EXPECT_EQ(shownmessage.title, "Cannot save texture script") << shownmessagetext();
        EXPECT_NE(shownmessagetext().find("old.tx"), std::string::npos) << shownmessagetext();
        key(scanesc);
        EXPECT_EQ(readfile(folder + "old.tx"), "OLD SCRIPT");
        EXPECT_EQ(foldernames(folder), std::vector<std::string>{"old.tx"});
    }
}

// A name of 4,000 bytes: the message shortens the path in its middle and
// keeps the system's reason, which the file layer's message had lost; so
// does a message that holds the whole path.
TEST_F(ChooserTest, LongPathKeepsTheReason)
{
    openby(scanf3);
    setfield(chooser.name, std::string(4000, 'a'), false);
    key(scanenter);
    EXPECT_EQ(shownmessage.title, "Cannot save texture script");
    std::string text = shownmessagetext();
    EXPECT_NE(text.find(std::strerror(ENAMETOOLONG)), std::string::npos) << text;
    EXPECT_NE(text.find(".../aaaa"), std::string::npos) << text;
    EXPECT_NE(text.find("aaa.tx"), std::string::npos) << text;
    EXPECT_LT(text.size(), 200u) << text;
    std::string longpath = "/tmp/" + std::string(300, 'b') + "/x.tx";
    EXPECT_EQ(failuretext(("cannot open " + longpath + ": No such file or directory").c_str(), longpath.c_str()),
              "Cannot open /tmp/.../x.tx: No such file or directory.");
}

// ESC, the Exit button, the window's close and F2 ask when the texture
// differs from its file: Save saves and goes on (to the end, or F2's
// chooser), Discard goes on, Cancel stays. With nothing unsaved (at start,
// or undone back to it) ESC ends at once.
TEST_F(ChooserTest, UnsavedWorkIsNeverThrownAwayWithoutAQuestion)
{
    enum { byesc, byexit, bywindow, byload };
    enum { cancel, discard, save, unchanged, undone };
    const int rows[][2] = {{byesc, cancel},        {byesc, save},     {byexit, discard}, {bywindow, cancel},
                           {bywindow, discard},    {byload, discard}, {byesc, unchanged}, {byesc, undone}};
    for (auto [how, answer] : rows) {
        SCOPED_TRACE(::testing::Message() << how << " " << answer);
        start();
        if (answer != unchanged)
            type("+1");
        if (answer == undone)
            key(scanz, 0, modlctrl);
        if (how == bywindow)
            askclose();
        else if (how == byexit)
            moveto(640, 14);
        else
            presskey(how == byesc ? scanesc : scanf2);
        headlessframe();
        if (how == byexit) {
            button(true);
            button(false);
        }
        ASSERT_EQ(dialogopen() && shownmessage.lines[0] == "Save changes to Untitled?", answer <= save);
        if (answer == cancel)
            key(scanesc);
        if (answer == discard)
            key(scand, 'd');
        if (answer == save) {
            key(scanenter);                     // Enter is Save: the save chooser
            type("kept");
            key(scanenter);
            EXPECT_TRUE(fileexists(dir + "kept.tx"));
        }
        EXPECT_EQ(headless.closes, answer != cancel && how != byload);
        EXPECT_EQ(modal.kind == &chooserdialog, answer != cancel && how == byload);
        EXPECT_EQ(std::string(screen.editor.body).substr(0, 2) == "+1", answer <= save);   // the work is kept
    }
}

// A script changed on disk by another program is loaded again at once when
// nothing is unsaved, and asked about with unsaved work; its own saves are
// no change. A reload, as a load, is one undo step of text and values.
TEST_F(ChooserTest, ScriptChangedOnDiskIsReloaded)
{
    std::string path = dir + "watched.tx", start = screen.editor.body;
    float shape = texscripts.script.shape;
    choose(scanf3, "watched");
    headlessframes(200);                        // polls see its own save: nothing
    EXPECT_FALSE(dialogopen());
    texturescript other = texscripts.script;
    std::strcpy(other.text + exprheaderlength, "d2*c2");
    other.shape = 2.0f;
    ASSERT_EQ(savescript(other, path.c_str()), 1);
    headlessframes(200);
    EXPECT_STREQ(screen.editor.body, "d2*c2");
    EXPECT_EQ(texscripts.script.shape, 2.0f);
    type("+1");                                 // unsaved work, then another change on disk
    ASSERT_EQ(savescript(other, path.c_str()), 1);
    headlessframes(200);
    ASSERT_TRUE(dialogopen() && shownmessage.title == "Changed on disk");
    key(0x31, 'n');                             // keep the work: asked no more
    headlessframes(200);
    EXPECT_FALSE(dialogopen());
    EXPECT_STREQ(screen.editor.body, "+1d2*c2");
    key(scanz, 0, modlctrl);
    key(scanz, 0, modlctrl);                    // the reload
    EXPECT_EQ(screen.editor.body, start);
    EXPECT_EQ(texscripts.script.shape, shape);
    EXPECT_EQ(texscripts.script.solidweight, solidweightof(shape));
}

// ---- the desktop's dialog ---------------------------------------------------

struct fakedesktop {
    int answer;
    std::string path;
    std::string title, proposed, folder;
    int save;
    int calls;
} desktop;

int fakesystemdialog(const filerequest &r, char *path, int size)
{
    desktop.calls++;
    desktop.title = r.title;
    desktop.proposed = r.proposed;
    desktop.folder = r.folder;
    desktop.save = r.save;
    if (desktop.answer == systemchosen)
        std::snprintf(path, size_t(size), "%s", desktop.path.c_str());
    return desktop.answer;
}

// What the desktop's dialog is asked, and what becomes of its answers: a
// saved name gets the default extension (and the question when that file
// exists), an answer no file can have is refused with its true reason, a
// dialog that cannot be shown hands over to the built-in one.
TEST_F(ChooserTest, DesktopDialogAnswers)
{
    const struct {
        int answer;
        const char *path;       // under the folder
        const char *saved;      // the file written, null none
        bool builtin;           // the built-in chooser ran
        const char *message;    // the message box's title, null none
        const char *text = "";  // how its text starts
    } rows[] = {
        {systemchosen, "desk", "desk.tx", false, nullptr},
        {systemchosen, "desk.v1", "desk.v1", false, nullptr},
        {systemchosen, "old", nullptr, false, "Confirm Save As", "\"old.tx\" already exists."},  // answered No
        {systemcancelled, "", nullptr, false, nullptr},
        {systemtoolong, "", nullptr, false, "Save texture script...", "The path is too long"},
        {systemnulbyte, "", nullptr, false, "Save texture script...", "The desktop's file dialog gave a name with"},
        {systemunavailable, "", nullptr, true, nullptr},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.path);
        start();
        writefile(dir + "old.tx", "OLD");
        desktop = {r.answer, dir + r.path, "", "", "", -1, 0};
        host.systemdialog = fakesystemdialog;
        key(scanf3);
        EXPECT_EQ(desktop.calls, 1);
        EXPECT_EQ(desktop.title, "Save texture script...");
        EXPECT_EQ(desktop.save, 1);
        EXPECT_EQ(desktop.folder, dir);     // the first dialog: the start-up directory
        bool modalran = dialogopen();
        EXPECT_EQ(modalran, r.builtin || r.message != nullptr);
        if (modalran) {
            std::string message = modal.kind == &chooserdialog ? "built-in" : shownmessage.title;
            EXPECT_EQ(message, r.builtin ? "built-in" : r.message);
            EXPECT_EQ(shownmessagetext().rfind(r.text, 0), 0u) << shownmessagetext();
            key(scanesc);
        }
        if (r.saved)
            EXPECT_STREQ(filedialog.filename, (dir + r.saved).c_str());
        else
            EXPECT_STREQ(filedialog.filename, "");
        std::vector<std::string> files = foldernames(dir);
        EXPECT_EQ(files.size(), r.saved ? 2u : 1u);
        EXPECT_EQ(readfile(dir + "old.tx"), "OLD");
    }
}

} // namespace

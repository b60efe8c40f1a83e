// The file dialogs and the load, save and PNG flows, driven headless: a
// key opens a dialog inside a designer frame, and a script of steps (one
// per dialog frame) types, clicks and looks at what the dialog shows.
#include "chooser.h"
#include "designer.h"
#include "editor.h"
#include "filedialog.h"
#include "golden.h"
#include "headless.h"
#include "input.h"
#include "keys.h"
#include "msgbox.h"
#include "preview.h"
#include "screen.h"
#include "texscript.h"

#include "support/command.h"
#include "support/pngread.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

namespace {

using steps = std::initializer_list<std::function<void()>>;

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

struct ChooserTest : ::testing::Test {
    std::string dir;

    void SetUp() override { start(); }

    // A fresh designer whose first dialog opens in a fresh folder.
    void start(bool fullscreen = false)
    {
        static int folders = 0;
        headlessstart(fullscreen);
        dir = newfolder("files" + std::to_string(folders++));
        std::snprintf(screen.startdir, sizeof screen.startdir, "%s", dir.c_str());
        headlessframe();
    }

    // The frame in which `key` acts opens a dialog; the steps drive it, one
    // per dialog frame, and must close it.
    void flow(int key, steps s)
    {
        presskey(key);
        duringdialog(s);
        headlessframe();
        EXPECT_TRUE(headless.script.empty()) << "the dialogs closed before their last step";
        EXPECT_EQ(headless.stalls, 0) << "a dialog was still open after the last step";
        headless.script.clear();
        headless.stalls = 0;
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
    std::vector<std::string> scripts, all;
    std::string opened;
    flow(scanf2, {
                     [] {},
                     [&] {
                         opened = chooser.listing.path;
                         scripts = shownnames();
                         presskey(scantab);      // to the list
                         presskey(scantab);      // to the filter
                         presskey(scandown);
                     },
                     [&] {
                         all = shownnames();
                         presskey(scanesc);
                     },
                 });
    EXPECT_EQ(opened, dir);     // the first dialog opens in the start-up directory
    EXPECT_EQ(scripts, (std::vector<std::string>{"..", "A_dir", "b_dir", "rock.tx", "Stone.TX", "texture_2.tx",
                                                 "texture_10.tx"}));
    EXPECT_EQ(all, (std::vector<std::string>{"..", "A_dir", "b_dir", "notes.txt", "pic.png", "rock.tx", "Stone.TX",
                                             "texture_2.tx", "texture_10.tx"}));
    EXPECT_STREQ(filedialog.filename, "");
}

// A name without an extension gets the default one in lower case; typed
// code page 437 becomes UTF-8 in the path; refused names say why and keep
// the dialog open.
TEST_F(ChooserTest, TypedNamesBecomePaths)
{
    const struct {
        int key;
        const char *typed;      // code page 437
        const char *file;       // UTF-8, under the folder; null: refused
        const char *message;    // the error line for a refused name
    } rows[] = {
        {scanf3, "rock", "rock.tx", nullptr},
        {scanf3, "rock.v2", "rock.v2", nullptr},            // has an extension
        {scanf3, "sub/deep", "sub/deep.tx", nullptr},
        {scanf3, "\x81" "ber", "\xC3\xBC" "ber.tx", nullptr},
        {scanf4, "pic", "pic.png", nullptr},
        {scanf3, "sub", nullptr, nullptr},                  // a folder opens
        {scanf3, "none/x", nullptr, "Folder not found: "},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.typed);
        start();
        mkdir((dir + "sub").c_str(), 0777);
        std::string message, folder;
        steps typing = {[&] { typetext(r.typed); }, [&] { presskey(scanenter); }};
        if (r.file) {
            flow(r.key, typing);
            EXPECT_STREQ(filedialog.filename, (dir + r.file).c_str());
            EXPECT_TRUE(fileexists(dir + r.file));
            continue;
        }
        flow(r.key, {[&] { typetext(r.typed); },
                     [&] { presskey(scanenter); },
                     [&] {
                         message = chooser.message;
                         folder = chooser.listing.path;
                         presskey(scanesc);
                     }});
        if (r.message)
            EXPECT_EQ(message, r.message + dir + "none/");
        else
            EXPECT_EQ(folder, dir + "sub/");
        EXPECT_STREQ(filedialog.filename, "");
    }
}

// The buffer holds 4095 bytes and a NUL: a longer name or path is refused
// with a message, never cut.
TEST_F(ChooserTest, PathLongerThanTheBufferIsRefused)
{
    std::string kept, message, field, message2;
    flow(scanf3, {[&] {
                      setfield(chooser.name, std::string(size_t(filenamesize) - 2, 'a'), false);
                      typetext("bc");
                  },
                  [&] {
                      field = chooser.name.text;
                      message = chooser.message;
                      presskey(scanenter);
                  },
                  [&] {
                      message2 = chooser.message;
                      presskey(scanesc);
                  }});
    EXPECT_EQ(field, std::string(size_t(filenamesize) - 2, 'a') + "b");
    EXPECT_EQ(message, toolongmessage());
    EXPECT_EQ(message2, toolongmessage());   // the folder and ".tx" make it longer still
    EXPECT_STREQ(filedialog.filename, "");
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
        bool asked = false, stillopen = false;
        steps answering = {[&] { typetext("rock"); },
                           [&] { presskey(scanenter); },
                           [&] {
                               asked = chooser.asking && chooser.question.title == "Confirm Save As";
                               presskey(r.answer, r.answer == 0x15 ? 'y' : r.answer == 0x31 ? 'n' : 0);
                           }};
        if (r.replaced) {
            flow(scanf3, answering);
        } else {
            presskey(scanf3);
            duringdialog(answering);
            duringdialog({[&] {
                stillopen = chooser.result < 0 && !chooser.asking && chooser.focus == focusname;
                presskey(scanesc);
            }});
            headlessframe();
            EXPECT_TRUE(headless.script.empty());
        }
        EXPECT_TRUE(asked);
        ASSERT_EQ(savetexture((dir + "expected.tx").c_str()), 1);
        EXPECT_EQ(readfile(dir + "rock.tx"), r.replaced ? readfile(dir + "expected.tx") : "OLD");
        EXPECT_STREQ(filedialog.filename, r.replaced ? (dir + "rock.tx").c_str() : "");
        EXPECT_EQ(stillopen, !r.replaced);
    }
}

// Open refuses a missing file; cancelling then leaves the name buffer, the
// texture and the screen as they were.
TEST_F(ChooserTest, OpenRefusesAMissingFileAndCancelChangesNothing)
{
    std::snprintf(filedialog.filename, filenamesize, "%skeep.tx", dir.c_str());
    texturescript before = texscripts.script;
    exprfunc func = texscripts.func;
    std::string message, proposed;
    flow(scanf2, {[&] {
                      proposed = chooser.name.text;
                      typetext("missing");      // replaces the proposed name
                  },
                  [&] { presskey(scanenter); },
                  [&] {
                      message = chooser.message;
                      inputkeydown(scanesc, 0);   // still held when the dialog has closed
                  }});
    inputkeydown(scanesc, 1);                   // and repeating
    inputkeydown(scanesc, 1);
    inputkeyup(scanesc);
    EXPECT_EQ(proposed, "keep.tx");
    EXPECT_EQ(message, "File not found: missing.tx");
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

// Backspace edits the name while the name field has the focus and goes up
// a folder while the list has it; typing in the list goes to the name.
TEST_F(ChooserTest, FocusDecidesWhatBackspaceDoes)
{
    mkdir((dir + "sub").c_str(), 0777);
    std::snprintf(screen.startdir, sizeof screen.startdir, "%ssub/", dir.c_str());
    std::string name1, folder1, folder2, selected, name2;
    int focus2 = -1;
    flow(scanf2, {[&] {
                      typetext("ab");
                      presskey(scanbackspace);
                  },
                  [&] {
                      name1 = chooser.name.text;
                      folder1 = chooser.listing.path;
                      presskey(scantab);
                      presskey(scanbackspace);
                  },
                  [&] {
                      folder2 = chooser.listing.path;
                      selected = chooser.listing.entries[size_t(chooser.selected)].name;
                      typetext("z");
                  },
                  [&] {
                      name2 = chooser.name.text;
                      focus2 = chooser.focus;
                      presskey(scanesc);
                  }});
    EXPECT_EQ(name1, "a");
    EXPECT_EQ(folder1, dir + "sub/");
    EXPECT_EQ(folder2, dir);
    EXPECT_EQ(selected, "sub");                 // the folder we came from
    EXPECT_EQ(name2, "az");
    EXPECT_EQ(focus2, focusname);
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
    int top1 = -1, top2 = -1;
    std::string folder, clicked;
    flow(scanf2, {[&] { inputwheel(-1); },
                  [&] {
                      top1 = chooser.top;
                      inputwheel(1);
                  },
                  [&] {
                      top2 = chooser.top;
                      moveto(x, rowy(1));       // "sub"
                  },
                  [&] { setbutton(0, true); },
                  [&] { setbutton(0, false); },
                  [&] { setbutton(0, true); },
                  [&] { setbutton(0, false); },
                  [&] {
                      folder = chooser.listing.path;
                      setbutton(0, true);       // on "inner.tx"
                  },
                  [&] { setbutton(0, false); },
                  [&] {
                      clicked = chooser.name.text;
                      setbutton(0, true);
                  },
                  [&] { setbutton(0, false); }});
    EXPECT_EQ(top1, 3);
    EXPECT_EQ(top2, 0);
    EXPECT_EQ(folder, dir + "sub/");
    EXPECT_EQ(clicked, "inner.tx");
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
    std::vector<uint32_t> shot;
    flow(scanf3, {[] {}, [] { presskey(scandown); }, [&] {
                      shot = framepixels();
                      presskey(scanesc);
                  }});
    chooserlayout l = chooserlayoutof(800, 600);
    auto at = [&](int x, int y) -> uint32_t & { return shot[size_t(y) * 800 + size_t(x)]; };
    for (int y = l.path.y + 1; y < l.path.y + l.path.h - 1; y++)
        for (int x = l.path.x + 1; x < l.path.x + l.path.w - 1; x++)
            at(x, y) = 0;
    for (int y = 40; y < 40 + previewside; y++)
        for (int x = 20; x < 20 + previewside; x++) {
            uint32_t &p = at(x, y);
            if (!l.box.contains(x, y) && !l.box.contains(x - 4, y - 4)) {
                EXPECT_EQ(p, preview.image[(y - 40) * previewside + x - 20] >> 1 & 0x7F7F7F) << x << "," << y;
                p = 0;
            }
        }
    EXPECT_EQ(comparegolden("chooser", shot, 800, 600), "");
}

// In full screen the chooser stands in the middle of the 1024 x 768 frame.
TEST_F(ChooserTest, CentredInFullScreen)
{
    start(true);
    std::vector<uint32_t> shot;
    flow(scanf2, {[] {}, [&] {
                      shot = framepixels();
                      presskey(scanesc);
                  }});
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
    editor.modified = 1;
    flow(scanf2, {[] { typetext("odd"); }, [] { presskey(scanenter); }});
    EXPECT_EQ(std::string(texscripts.script.text), std::string(exprheader) + body);
    EXPECT_EQ(editor.length, int(std::strlen(body)));
    EXPECT_EQ(editor.cursor, 0);
    EXPECT_EQ(editor.modified, 0);
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

TEST_F(ChooserTest, ScriptThatDoesNotLoadSaysWhyAndChangesNothing)
{
    writefile(dir + "bad.tx", "hello");
    texturescript before = texscripts.script;
    exprfunc func = texscripts.func;
    std::string title, text;
    bool red = false;
    flow(scanf2, {[] { typetext("bad"); },
                  [] { presskey(scanenter); },
                  [] {},                        // the message box's first frame
                  [&] {
                      title = shownmessage.title;
                      text = shownmessagetext();
                      red = shownmessage.result < 0 && frameshows(dialogerror) && frameshows(dialogerrorback);
                      presskey(scanenter);
                  }});
    EXPECT_EQ(title, "Cannot load texture script");
    EXPECT_NE(text.find("bad.tx is not a texture script"), std::string::npos) << text;
    EXPECT_TRUE(red);
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
    flow(scanf3, {[] { typetext("a"); }, [] { presskey(scanenter); }});
    texscripts.script.weights[2][1] = 0.0f;     // the load must bring it back
    flow(scanf2, {[] { presskey(scanenter); }});     // "a.tx" is proposed
    EXPECT_EQ(texscripts.script.weights[2][1], -1.875f);
    headlessframe();
    flow(scanf3, {[] { typetext("b"); }, [] { presskey(scanenter); }});
    EXPECT_EQ(readfile(dir + "a.tx"), readfile(dir + "b.tx"));
    EXPECT_GT(readfile(dir + "a.tx").size(), 100u);

    std::string proposed;
    flow(scanf4, {[&] {
                      proposed = chooser.name.text;
                      presskey(scanenter);
                  }});
    EXPECT_EQ(proposed, "b");
    std::string output;
    ASSERT_EQ(runcommand(std::string(TXTOOL) + " render " + dir + "b.tx " + dir + "r.png 2>&1", &output), 0)
        << output;
    std::string exported = readfile(dir + "b.png");
    EXPECT_GT(exported.size(), size_t(previewsize) * 4);
    EXPECT_TRUE(exported == readfile(dir + "r.png"));
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
        std::string buffer, folder, name;
        flow(scanf4, {[&] {
            buffer = filedialog.filename;
            folder = chooser.listing.path;
            name = chooser.name.text;
            presskey(scanesc);
        }});
        EXPECT_EQ(buffer, dir + r.buffer);
        EXPECT_EQ(folder, dir + r.folder);
        EXPECT_EQ(name, r.name);
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
        std::string title, text;
        flow(scanf3, {[] { typetext("keep/old"); },
                      [] { presskey(scanenter); },
                      [] { presskey(0x15, 'y'); },
                      [&] {
                          title = shownmessage.title;
                          text = shownmessagetext();
                          presskey(scanesc);
                      }});
        setrlimit(RLIMIT_FSIZE, &saved);
        chmod(folder.c_str(), 0777);
        EXPECT_EQ(title, "Cannot save texture script") << text;
        EXPECT_NE(text.find("old.tx"), std::string::npos) << text;
        EXPECT_EQ(readfile(folder + "old.tx"), "OLD SCRIPT");
        EXPECT_EQ(foldernames(folder), std::vector<std::string>{"old.tx"});
    }
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
// exists), a dialog that cannot be shown hands over to the built-in one.
TEST_F(ChooserTest, DesktopDialogAnswers)
{
    const struct {
        int answer;
        const char *path;       // under the folder
        const char *saved;      // the file written, null none
        bool builtin;           // the built-in chooser ran
        const char *message;    // the message box's title, null none
    } rows[] = {
        {systemchosen, "desk", "desk.tx", false, nullptr},
        {systemchosen, "desk.v1", "desk.v1", false, nullptr},
        {systemchosen, "old", nullptr, false, "Confirm Save As"},  // old.tx exists: answered No
        {systemcancelled, "", nullptr, false, nullptr},
        {systemtoolong, "", nullptr, false, "Save texture script..."},
        {systemunavailable, "", nullptr, true, nullptr},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.path);
        start();
        writefile(dir + "old.tx", "OLD");
        desktop = {r.answer, dir + r.path, "", "", "", -1, 0};
        host.systemdialog = fakesystemdialog;
        std::string message;
        presskey(scanf3);
        duringdialog({[&] {
            message = chooser.result < 0 && modal.open ? "built-in" : shownmessage.title;
            presskey(scanesc);
        }});
        int pumps = headless.modalpumps;
        headlessframe();
        EXPECT_EQ(desktop.calls, 1);
        EXPECT_EQ(desktop.title, "Save texture script...");
        EXPECT_EQ(desktop.save, 1);
        EXPECT_EQ(desktop.folder, dir);     // the first dialog: the start-up directory
        bool modalran = headless.modalpumps > pumps;
        EXPECT_EQ(modalran, r.builtin || r.message != nullptr);
        if (modalran) {
            EXPECT_EQ(message, r.builtin ? "built-in" : r.message);
        }
        if (r.saved)
            EXPECT_STREQ(filedialog.filename, (dir + r.saved).c_str());
        else
            EXPECT_STREQ(filedialog.filename, "");
        std::vector<std::string> files = foldernames(dir);
        EXPECT_EQ(files.size(), r.saved ? 2u : 1u);
        EXPECT_EQ(readfile(dir + "old.tx"), "OLD");
        headless.script.clear();
    }
}

} // namespace

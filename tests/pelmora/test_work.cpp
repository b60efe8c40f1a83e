// Never losing work, driven headless: the question before unsaved work is
// thrown away, undo and redo, live compiles, a script changed on disk,
// and frames only when something changes.
#include "chooserdialog.h"
#include "controls.h"
#include "cursor.h"
#include "designer.h"
#include "dialog.h"
#include "dirlist.h"
#include "document.h"
#include "editor.h"
#include "filedialog.h"
#include "headless.h"
#include "history.h"
#include "idle.h"
#include "input.h"
#include "keys.h"
#include "msgbox.h"
#include "pointset.h"
#include "preview.h"
#include "screen.h"
#include "screenstate.h"
#include "texscript.h"

#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

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

std::string body()
{
    return screen.editor.body;
}

// A left drag on a slider from its middle to y.
void drag(int x, int y)
{
    moveto(x, 430);
    headlessframe();
    setbutton(0, true);
    headlessframe();
    moveto(x, y);
    headlessframe();
    setbutton(0, false);
    headlessframe();
}

bool asking()
{
    return dialogopen() && modal.kind == &messagedialog && shownmessage.kind == messagesavediscard;
}

struct WorkTest : ::testing::Test {
    std::string dir;
    void SetUp() override
    {
        static int folders = 0;
        headlessstart();
        dir = scratchpath("work" + std::to_string(folders++));
        mkdir(dir.c_str(), 0777);
        dir = realfolder(dir);
        std::snprintf(filedialog.startdir, sizeof filedialog.startdir, "%s", dir.c_str());
        headlessframe();
    }
};

// ESC, the Exit button, the window's close and F2 ask first when the
// texture differs from its file; Save saves and goes on, Discard goes on,
// Cancel stays. With nothing unsaved (at start, after undoing back to the
// start, after a save) ESC ends at once.
TEST_F(WorkTest, UnsavedWorkIsNeverThrownAwayWithoutAQuestion)
{
    enum { byesc, byexit, bywindow, byload };
    enum { cancel, discard, save, nothingunsaved, undone };
    const struct {
        int how, answer;
        int closes;             // close requests that reached the platform
        bool chooser;           // a file chooser is open afterwards
    } rows[] = {
        {byesc, cancel, 0, false},     {byesc, discard, 1, false},  {byesc, save, 1, false},
        {byexit, cancel, 0, false},    {byexit, discard, 1, false}, {bywindow, cancel, 0, false},
        {bywindow, discard, 1, false}, {byload, cancel, 0, false},  {byload, discard, 0, true},
        {byesc, nothingunsaved, 1, false}, {byesc, undone, 1, false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(::testing::Message() << r.how << " " << r.answer);
        SetUp();
        if (r.answer != nothingunsaved) {
            type("+1");
            drag(28, 420);
        }
        if (r.answer == undone) {
            key(scanz, 0, modlctrl);
            key(scanz, 0, modlctrl);
        }
        if (r.how == byesc) {
            key(scanesc);
        } else if (r.how == bywindow) {
            askclose();
            headlessframe();
        } else {
            moveto(r.how == byexit ? 640 : 220, 14);
            headlessframe();
            setbutton(0, true);
            headlessframe();
            setbutton(0, false);
            headlessframe();
        }
        bool unsavedwork = r.answer != nothingunsaved && r.answer != undone;
        ASSERT_EQ(asking(), unsavedwork);
        if (unsavedwork) {
            EXPECT_EQ(shownmessage.lines[0], "Save changes to Untitled?");
            EXPECT_EQ(headless.closes, 0);
        }
        if (r.answer == cancel)
            key(scanesc);
        if (r.answer == discard)
            key(scand, 'd');
        if (r.answer == save) {
            key(scanenter);                     // Enter is Save: the save chooser
            type("kept");
            key(scanenter);
            EXPECT_NE(document.path.find("kept.tx"), std::string::npos);
        }
        EXPECT_EQ(headless.closes, r.closes);
        EXPECT_EQ(modal.kind == &chooserdialog, r.chooser);
        if (r.answer == cancel) {
            EXPECT_FALSE(dialogopen());
            EXPECT_EQ(body().substr(0, 2), "+1");   // the work is still there
        }
    }
}

// One history: a typing run is one step, a Backspace run another, a drag
// one step whatever it passed through, a turn of the light one, a load one
// (its text and values together); redo gives each back; a new change after
// an undo drops what was undone.
TEST_F(WorkTest, UndoAndRedoTakeStepsBackAndForth)
{
    std::string start = body();
    float weight = texscripts.script.weights[0][0], light = texscripts.script.lightangle;
    type("abc");
    key(scanbackspace);
    key(scanbackspace);
    drag(28, 400);
    drag(28, 460);
    moveto(100, 100);                           // the light
    headlessframe();
    setbutton(0, true);
    headlessframe();
    moveto(200, 250);
    headlessframe();
    setbutton(0, false);
    headlessframe();
    float turned = texscripts.script.lightangle;
    ASSERT_NE(turned, light);
    const struct {
        int scan;
        uint32_t modifiers;
        std::string text;
        float weight, light;
    } rows[] = {
        {scanz, modlctrl, "a" + start, -30.0f / 16.0f, light},
        {scanz, modrctrl, "a" + start, 30.0f / 16.0f, light},
        {scanz, modlctrl, "a" + start, weight, light},
        {scanz, modlctrl, "abc" + start, weight, light},
        {scanz, modlctrl, start, weight, light},
        {scanz, modlctrl, start, weight, light},            // nothing more to undo
        {scany, modlctrl, "abc" + start, weight, light},
        {scanz, modlctrl | modlshift, "a" + start, weight, light},
        {scany, modrctrl, "a" + start, 30.0f / 16.0f, light},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.text.substr(0, 4));
        key(r.scan, 0, r.modifiers);
        EXPECT_EQ(body(), r.text);
        EXPECT_EQ(texscripts.script.weights[0][0], r.weight);
        EXPECT_EQ(texscripts.script.lightangle, r.light);
    }
    type("x");                                  // drops the two steps undone
    key(scany, 0, modlctrl);
    EXPECT_EQ(body(), "ax" + start);
    EXPECT_EQ(texscripts.script.weights[0][0], 30.0f / 16.0f);

    // A load and its undo: text, weights and shape back as they were.
    std::string path = dir + "one.tx";
    texturescript other = texscripts.script;
    std::strcpy(other.text + exprheaderlength, "d1*c1");
    other.shape = 2.0f;
    ASSERT_EQ(savescript(other, path.c_str()), 1);
    std::string before = body();
    float shape = texscripts.script.shape;
    key(scanf3);                                // saves first: F2 would ask
    type("saved");
    key(scanenter);
    key(scanf2);
    type("one");
    key(scanenter);
    ASSERT_EQ(body(), "d1*c1");
    EXPECT_EQ(texscripts.script.shape, 2.0f);
    key(scanz, 0, modlctrl);
    EXPECT_EQ(body(), before);
    EXPECT_EQ(texscripts.script.shape, shape);
    EXPECT_EQ(texscripts.script.solidweight, solidweightof(shape));
}

// The history keeps at least the last 1,000 steps of any size and holds
// its memory within its bound however many steps come.
TEST_F(WorkTest, HistoryIsBounded)
{
    std::string big(maxbodylength / 2, 'q');
    for (int i = 0; i < 3000; i++) {
        std::memcpy(screen.editor.body, big.data(), big.size());
        screen.editor.body[i % 100] = char('a' + i % 26);
        screen.editor.body[big.size()] = 0;
        screen.editor.length = int(big.size());
        commit(stepedit, committext);
        ASSERT_LE(history.bytes, maxundobytes);
        ASSERT_LE(int(history.steps.size()), maxundosteps);
    }
    EXPECT_GE(history.done, 1000);
    for (int i = 0; i < 1000; i++)
        ASSERT_NE(undo(), 0);
}

// F5: after a pause of 0.3 s without changes the text compiles; a failure
// leaves the preview and the compiled expression as they were, shows why
// and marks the place; a success replaces them.
TEST_F(WorkTest, LiveCompileAfterAPause)
{
    key(scanf5);
    EXPECT_EQ(screen.livecompile, 1);
    exprfunc first = texscripts.func;
    std::vector<uint32_t> image(preview.image, preview.image + previewsize);
    presskey(scanend, 0, modlctrl);
    type("*(");
    headlessframes(10);                         // 1/6 s: not yet
    EXPECT_EQ(screen.compilefailed, 0);
    headlessframes(10);
    EXPECT_EQ(screen.compilefailed, 1);
    EXPECT_EQ(texscripts.func, first);
    EXPECT_EQ(std::vector<uint32_t>(preview.image, preview.image + previewsize), image);
    EXPECT_GE(screen.editor.mark, 0);
    key(scanbackspace);
    key(scanbackspace);
    type("*0.5");
    headlessframes(20);
    EXPECT_EQ(screen.compilefailed, 0);
    EXPECT_NE(texscripts.func, first);
    EXPECT_NE(std::vector<uint32_t>(preview.image, preview.image + previewsize), image);
    EXPECT_EQ(screen.editor.modified, 0);
    key(scanf5);
    type("+1");
    headlessframes(30);
    EXPECT_EQ(screen.editor.modified, 1);       // off again: no compile
}

// Between frames the designer sleeps: with nothing happening a frame is
// due only when the cursor blinks (twice a second); input, and the frame
// after a frame with input, are due at once.
TEST_F(WorkTest, IdleDrawsOnlyAtTheBlink)
{
    moveto(790, 590);                           // over no control: no help text
    headlessframes(90);
    int frames = 0, shown = -1, turns = 0, passes = 0;
    for (double end = headless.now + 10.0; headless.now < end && passes < 10000; passes++) {
        double wait = framewait(headless.now);
        if (wait > 0.0) {
            headless.now += wait;
            continue;
        }
        headless.now -= headless.step;          // headlessframe adds its step
        headlessframe();
        frames++;
        int on = screen.editor.blinkdeadline - screen.currenttime > 0.5;
        turns += shown >= 0 && on != shown;
        shown = on;
    }
    EXPECT_GE(frames, 19);
    EXPECT_LE(frames, 21);
    EXPECT_GE(turns, 19);                       // each frame drawn showed a change
    headlessframe();
    EXPECT_GT(framewait(headless.now), 0.0);
    movemouse(1, 0);
    EXPECT_EQ(framewait(headless.now), 0.0);
    headlessframe();
    EXPECT_EQ(framewait(headless.now), 0.0);    // the frame after input
    headlessframe();
    EXPECT_GT(framewait(headless.now), 0.0);
}

// A script changed on disk by another program is loaded again at once when
// nothing is unsaved; with unsaved work the designer asks first. Its own
// saves are no change.
TEST_F(WorkTest, ScriptChangedOnDiskIsReloaded)
{
    std::string path = dir + "watched.tx";
    key(scanf3);
    type("watched");
    key(scanenter);
    ASSERT_EQ(document.path, path);
    headlessframes(200);                        // polls see its own save: nothing
    EXPECT_FALSE(dialogopen());
    texturescript other = texscripts.script;
    std::strcpy(other.text + exprheaderlength, "d2*c2");
    ASSERT_EQ(savescript(other, path.c_str()), 1);
    headlessframes(200);
    EXPECT_EQ(body(), "d2*c2");
    EXPECT_FALSE(dialogopen());
    type("+1");                                 // unsaved work, then another change on disk
    std::strcpy(other.text + exprheaderlength, "d3*c3");
    ASSERT_EQ(savescript(other, path.c_str()), 1);
    headlessframes(200);
    ASSERT_TRUE(dialogopen());
    EXPECT_EQ(shownmessage.title, "Changed on disk");
    key(0x31, 'n');                            // keep the work: asked no more
    headlessframes(200);
    EXPECT_FALSE(dialogopen());
    EXPECT_EQ(body(), "+1d2*c2");
    key(scanz, 0, modlctrl);                    // the reload was a step of its own
    key(scanz, 0, modlctrl);
    EXPECT_NE(body(), "d2*c2");
}

} // namespace

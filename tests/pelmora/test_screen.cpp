// The designer screen driven headless: golden frames pixel for pixel (with
// spot checks of positions and colours taken from the layout), and the
// behaviour of the controls frame by frame.
#include "compiler.h"
#include "controls.h"
#include "cursor.h"
#include "dialog.h"
#include "editor.h"
#include "golden.h"
#include "headless.h"
#include "history.h"
#include "idle.h"
#include "input.h"
#include "keys.h"
#include "pointset.h"
#include "preview.h"
#include "random.h"
#include "screenstate.h"
#include "designer.h"
#include "texscript.h"

#include "support/command.h"
#include "support/pngread.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t buttoncolour = 0x404080, buttonlit = 0x4060C0, helpcolour = 0x60D090;

uint32_t pixel(int x, int y)
{
    return headless.pixels[size_t(y) * size_t(headless.width) + size_t(x)];
}

std::vector<uint32_t> previewimage()
{
    return std::vector<uint32_t>(preview.image, preview.image + previewsize);
}

// The preview as a fresh designer renders it with the current texture and
// light: the start-up state, the same record, both stages from scratch.
std::vector<uint32_t> freshpreview()
{
    texturescript kept = texscripts.script;
    int lighting = preview.lighting;
    resetlibraryrand();
    resetpreview();
    startdesigner();
    texscripts.script = kept;
    setsolidweight(kept.solidweight);
    texscripts.func = compileexpr(kept.text);
    preview.lighting = lighting;
    renderpreview(1, 1);
    return previewimage();
}

// The frame with the preview cut out, after checking that the preview area
// shows exactly the preview image.
std::vector<uint32_t> framewithoutpreview()
{
    std::vector<uint32_t> f = framepixels();
    for (int y = 0; y < previewside; y++)
        for (int x = 0; x < previewside; x++) {
            uint32_t &p = f[size_t(40 + y) * size_t(headless.width) + size_t(20 + x)];
            EXPECT_EQ(p, preview.image[y * previewside + x]) << "preview pixel " << x << "," << y;
            p = 0;
        }
    return f;
}

void expectgolden(const std::string &name)
{
    std::string why = comparegolden(name, framewithoutpreview(), headless.width, headless.height);
    EXPECT_EQ(why, "");
}

struct spot {
    int x, y;
    uint32_t colour;
};

void expectspots(const std::vector<spot> &spots)
{
    for (const spot &s : spots)
        EXPECT_EQ(pixel(s.x, s.y), s.colour) << "at " << s.x << "," << s.y;
}

void setbody(const char *body)
{
    std::strcpy(screen.editor.body, body);
    resetedit(screen.editor, screen.editor.body, int(std::strlen(body)));
}

// A left-button press and release with a frame after each.
void clickleft()
{
    setbutton(0, true);
    headlessframe();
    setbutton(0, false);
    headlessframe();
}

struct ScreenTest : ::testing::Test {
    void SetUp() override { headlessstart(); }
};

// ---- golden frames ----------------------------------------------------------

TEST_F(ScreenTest, GoldenStartScreen)
{
    headlessframe();
    expectgolden("start");
    std::vector<spot> spots = {
        {320, 236, 0xFFFFFF}, {320, 243, 0xFFFFFF}, {318, 236, 0xFFFFFF}, {322, 244, 0xFFFFFF},  // I-beam
        {20, 555, buttoncolour}, {779, 566, buttoncolour},                                       // quick-help bar
        {20, 394, 0xC06060}, {35, 429, 0xC06060}, {36, 400, 0}, {20, 430, 0},                   // R of group 1 at 2.2
        {92, 430, 0x606060}, {107, 477, 0x606060}, {92, 478, 0},                                // its group scale at -3.0
        {540, 430, 0x6090C0}, {555, 445, 0x6090C0}, {540, 446, 0},                              // shape -1.0
        {500, 398, 0x909090}, {515, 429, 0x909090}, {500, 397, 0},                              // global scale 1.0
    };
    for (int x0 : {20, 160, 300, 440, 580})
        for (spot s : {spot{x0, 8, buttoncolour}, spot{x0 + 119, 19, buttoncolour}})
            spots.push_back(s);
    expectspots(spots);
    EXPECT_EQ(previewimage(), freshpreview());
}

TEST_F(ScreenTest, GoldenHelpPage)
{
    presskey(scanf1);
    headlessframes(2);                      // the key acts after the page's turn in its frame
    expectgolden("help");
    expectspots({
        {292, 32, helpcolour}, {787, 32, helpcolour}, {292, 303, helpcolour}, {787, 303, helpcolour},
        {293, 33, 0},                                                       // the page box
        {12, 320, helpcolour}, {115, 539, helpcolour},                     // 1st weight group
        {372, 320, helpcolour}, {475, 539, helpcolour},                    // 4th weight group
        {490, 320, helpcolour}, {525, 539, helpcolour},                    // global scale
        {580, 320, helpcolour}, {787, 539, helpcolour},                    // credits
        {20, 8, buttonlit}, {160, 8, buttoncolour},                        // F1 lit while the page shows
    });
}

TEST_F(ScreenTest, GoldenWeightSliderDraggedToMinusTwo)
{
    moveto(28, 400);
    headlessframe();
    setbutton(0, true);
    headlessframe();
    moveto(60, 462);                        // captured: beside the slider, off its number
    headlessframe();
    EXPECT_EQ(texscripts.script.weights[0][0], -2.0f);
    expectgolden("slider");
    for (int x = 20; x < 36; x++)
        expectspots({{x, 430, 0xC06060}, {x, 461, 0xC06060}, {x, 429, 0}});
    expectspots({{36, 445, 0}});
    EXPECT_EQ(previewimage(), freshpreview());
    moveto(60, 590);                        // 100 pixels each way at most
    headlessframe();
    EXPECT_EQ(texscripts.script.weights[0][0], -6.25f);
    moveto(60, 100);
    headlessframe();
    EXPECT_EQ(texscripts.script.weights[0][0], 6.25f);
}

TEST_F(ScreenTest, GoldenCompileErrorLine)
{
    setbody("d1*(c1+");
    presskey(scanenter, 13, modlctrl);
    headlessframe();
    EXPECT_EQ(texscripts.func, nullptr);
    expectgolden("compileerror");
    EXPECT_EQ(std::string(screen.errortext), std::string(compileerror()) + " (line 1, column 4)");
    int length = int(std::strlen(screen.errortext));
    ASSERT_GT(length, 0);
    expectspots({{300, 30, 0x601010}, {300 + 6 * length - 1, 37, 0x601010}, {300 + 6 * length, 37, 0}});
}

// examples/rock.tx has weights of 112 to 118: their bars stop at the
// sliders' box with an arrow, and nothing of them lies on the buttons, the
// editor, the error line, the quick-help bar or above group 4.
TEST_F(ScreenTest, GoldenOutOfRangeSlidersStayInTheirBand)
{
    char why[texwhysize];
    ASSERT_EQ(loaddesign(EXAMPLES "/rock.tx", why, sizeof why), 1) << why;
    texscripts.script.weights[1][0] = -40.0f;           // and one far down
    setbody("d1*(c1+");                                 // with a compile error line
    presskey(scanenter, 13, modlctrl);
    headlessframe();
    expectgolden("outofrange");
    const uint32_t slidercolours[] = {0xC06060, 0x60C060, 0x6060C0, 0x606060};
    const struct {
        int x0, y0, x1, y1;
    } kept[] = {{20, 8, 700, 20}, {300, 30, 780, 38}, {300, 48, 780, 296}, {20, 555, 780, 567}, {380, 329, 452, 330}};
    for (const auto &k : kept)
        for (int y = k.y0; y < k.y1; y++)
            for (int x = k.x0; x < k.x1; x++)
                for (uint32_t c : slidercolours)
                    ASSERT_NE(pixel(x, y), c) << x << "," << y;
    expectspots({{380, 330, 0xC06060}, {387, 330, 0xFFFFFF}, {388, 330, 0xFFFFFF}, {386, 330, 0xC06060},
                 {384, 333, 0xFFFFFF}, {44, 529, 0x60C060}, {51, 529, 0xFFFFFF}, {48, 526, 0xFFFFFF}});
}

// Past the 31st line and the 80th column the editor scrolls so that the
// cursor and what is typed there stay in view; an arrow tells of lines
// above, and of text hidden on the left.
TEST_F(ScreenTest, GoldenEditorScrollsToTheCursor)
{
    std::string body;
    for (int k = 0; k < 40; k++)
        body += "v" + std::to_string(k) + "=" + (k == 37 ? std::string(100, 'a') : "d1") + ";\n";
    body += "v0";
    setbody(body.c_str());
    presskey(scanend, 0, modlctrl);
    for (int k = 0; k < 3; k++)
        presskey(scanup);
    presskey(scanend);
    typetext("+q");
    headlessframe();
    EXPECT_EQ(screen.editor.topline, 37 - 30);
    EXPECT_EQ(screen.editor.leftcolumn, 107 - 80);
    expectgolden("scrolled");
    expectspots({{780, 287, 0xFFFFFFFF}, {780, 295, 0xFFFFFFFF}});     // the cursor after "+q"
    int q = 0;                                          // "q" in the last column
    for (int i = 0; i < 48; i++)
        q += pixel(774 + i % 6, 288 + i / 6) == 0xC0C0C0;
    EXPECT_GT(q, 0);
    presskey(scanhome, 0, modlctrl);                    // back to the top: the view as before scrolling
    headlessframe();
    EXPECT_EQ(screen.editor.topline, 0);
    EXPECT_EQ(screen.editor.leftcolumn, 0);
}

// The error's place (its line and column counted here from the body) is
// marked and the cursor goes there; an edit takes the mark away, the
// message stays until a compile succeeds.
TEST_F(ScreenTest, CompileErrorIsMarkedAtItsPlace)
{
    const std::string body = "a=d1;\n\n  b=c1*;\na+b";
    setbody(body.c_str());
    presskey(scanenter, 13, modlctrl);
    headlessframe();
    int at = compileerrorat() - exprheaderlength;
    ASSERT_GE(at, 0);
    EXPECT_EQ(screen.editor.cursor, at);
    int line = 1 + int(std::count(body.begin(), body.begin() + at, '\n')), column = at - int(body.rfind('\n', at - 1));
    int x = 300 + 6 * (column - 1), y = 48 + 8 * (line - 1);
    auto marked = [&] { return pixel(x + 5, y) == 0x601010u && pixel(x + 5, y + 7) == 0x601010u; };
    EXPECT_TRUE(marked()) << x << "," << y;
    typetext(" ");
    headlessframe();
    EXPECT_FALSE(marked());
    EXPECT_EQ(pixel(300, 30), 0x601010u);
}

// ---- behaviour --------------------------------------------------------------

// A press released before the frame reads it (xdotool click, a quick
// finger) is a press in one frame and a release in the next: F1, the
// quick-help bar, a right click opening the menu and its Delete all act.
TEST_F(ScreenTest, ShortClicksReachEveryControl)
{
    setbody("abc");
    presskey(scana, 0, modlctrl);
    const int clicks[][3] = {{80, 14, 0}, {400, 560, 0}, {400, 200, 1}, {410, 225, 0}};     // x, y, button
    for (const auto &c : clicks) {
        moveto(c[0], c[1]);
        headlessframe();
        setbutton(c[2], true);
        setbutton(c[2], false);
        headlessframes(3);
    }
    EXPECT_EQ(screen.helppage, 1);
    EXPECT_EQ(screen.quickhelp, 0);
    EXPECT_STREQ(screen.editor.body, "");
}

// Buttons act on release wherever the cursor is by then; a press captured
// by another control that ends on a button does nothing.
TEST_F(ScreenTest, ButtonsActOnReleaseAfterBeingPressedOnThem)
{
    const struct {
        int pressx, pressy, releasex, releasey;
        int helppage, closes;
    } rows[] = {
        {80, 14, 80, 14, 1, 0},         // F1, released on it
        {80, 14, 600, 450, 1, 0},       // F1, dragged off
        {28, 400, 80, 14, 0, 0},        // pressed on a slider, released on F1
        {640, 14, 10, 590, 0, 1},       // Exit, dragged off
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(::testing::Message() << r.pressx << "," << r.pressy);
        headlessstart();
        moveto(r.pressx, r.pressy);
        headlessframe();
        setbutton(0, true);
        headlessframe();
        moveto(r.releasex, r.releasey);
        headlessframe();
        EXPECT_EQ(screen.helppage, 0);
        setbutton(0, false);
        headlessframe();
        EXPECT_EQ(screen.helppage, r.helppage);
        EXPECT_EQ(headless.closes, r.closes);
    }
}

// F1 to F4 click their buttons even while the editor holds the mouse;
// ESC closes the file dialog F2 to F4 open, and then the designer.
TEST_F(ScreenTest, HotkeysWinOverTheEditor)
{
    const struct {
        int scan;
        int clicked;
    } rows[] = {{scanf1, ctlhelp}, {scanf2, ctlload}, {scanf3, ctlsave}, {scanf4, ctlpng}};
    setbutton(0, true);                     // the cursor starts over the editor
    headlessframe();
    for (const auto &r : rows) {
        SCOPED_TRACE(r.scan);
        ASSERT_EQ(screen.active, ctleditor);
        presskey(r.scan, 0, modlshift);
        headlessframe();
        EXPECT_EQ(screen.clicked, r.clicked);
        EXPECT_EQ(dialogopen(), r.clicked != ctlhelp);
        presskey(scanesc);
        headlessframes(2);                  // the held button takes the editor again
    }
    EXPECT_EQ(screen.helppage, 1);
    EXPECT_EQ(headless.closes, 1);          // after F1; the file dialogs took theirs
}

// Left drag: the preview follows every frame. Right drag (or both
// buttons): the number follows, the preview waits for the release.
TEST_F(ScreenTest, RightDragRendersOnReleaseLeftDragEveryFrame)
{
    const struct {
        int buttons;
        bool everyframe;
    } rows[] = {{1, true}, {2, false}, {3, false}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.buttons);
        headlessstart();
        moveto(196, 400);                   // B of group 2
        headlessframe();
        for (int k = 0; k < 2; k++)
            if (r.buttons >> k & 1)
                setbutton(k, true);
        headlessframe();
        std::vector<uint32_t> before = previewimage();
        for (int y = 410; y <= 470; y += 20) {
            moveto(196, y);
            headlessframe();
            EXPECT_EQ(texscripts.script.weights[2][1], float(430 - y) / 16.0f);
            EXPECT_EQ(previewimage() != before, r.everyframe);
            before = previewimage();
        }
        for (int k = 0; k < 2; k++)
            setbutton(k, false);
        headlessframe();
        EXPECT_EQ(previewimage(), freshpreview());
    }
}

// Shape 0, -1, +1: solid weights 1.0, 2.0, 0.5; air points stay at 1.0;
// the grids are rebuilt once, on release.
TEST_F(ScreenTest, ShapeSliderWeighsTheSolidPointsAndRebuildsOnRelease)
{
    int solid = -1, air = -1;
    for (int i = 0; i < designpointcount; i++)
        (designpoints.air[i] ? air : solid) = i;
    ASSERT_GE(solid, 0);
    ASSERT_GE(air, 0);
    const struct {
        int y;
        float shape, weight;
    } rows[] = {{430, 0.0f, 1.0f}, {446, -1.0f, 2.0f}, {414, 1.0f, 0.5f}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.y);
        moveto(548, r.y);
        headlessframe();
        setbutton(0, true);
        headlessframe();
        std::vector<uint32_t> during = previewimage();
        headlessframe();
        EXPECT_EQ(texscripts.script.shape, r.shape);
        EXPECT_EQ(designpoints.points[solid].weight, r.weight);
        EXPECT_EQ(designpoints.points[air].weight, 1.0f);
        EXPECT_EQ(texscripts.script.solidweight, r.weight);
        EXPECT_EQ(previewimage(), during);  // no render while held
        setbutton(0, false);
        headlessframe();
        EXPECT_EQ(previewimage(), freshpreview());
    }
}

bool helptextshown()
{
    for (int y = 557; y < 565; y++)
        for (int x = 94; x < 780; x++)
            if (pixel(x, y) == 0xC0C0C0)
                return true;
    return false;
}

// A help text stays for a second after the cursor leaves its control.
// With quick help off, only the bar itself still explains itself.
TEST_F(ScreenTest, QuickHelpTextsLastOneSecond)
{
    moveto(80, 14);
    headlessframe();
    moveto(790, 590);                       // over no control
    headlessframes(55);
    EXPECT_TRUE(helptextshown());
    headlessframes(10);
    EXPECT_FALSE(helptextshown());

    moveto(400, 560);
    clickleft();
    EXPECT_EQ(screen.quickhelp, 0);
    EXPECT_EQ(pixel(20, 555), 0u);          // no bar while the cursor is on it,
    EXPECT_TRUE(helptextshown());           // only its own text
    moveto(80, 14);
    headlessframes(70);
    EXPECT_EQ(pixel(20, 555), buttoncolour);
    EXPECT_EQ(pixel(100, 555), 0u);         // elsewhere a short bar
    EXPECT_FALSE(helptextshown());
}

// Only Ctrl with the main Enter key compiles; keypad Enter never does.
TEST_F(ScreenTest, CtrlMainEnterRecompilesKeypadEnterDoesNot)
{
    exprfunc before = texscripts.func;
    setbody("d1*(c1+");
    const struct {
        int scan;
        uint32_t modifiers;
        bool compiles;
        const char *body;
        int modified;
    } rows[] = {
        {scankpenter, modlctrl, false, "d1*(c1+", 0},
        {scankpenter, 0, false, "d1*(c1+", 0},
        {scanenter, 0, false, "\nd1*(c1+", 1},        // the editor breaks the line
        {scanenter, modrctrl, true, "\nd1*(c1+", 0},  // compiled, not typed
    };
    for (const auto &r : rows) {
        presskey(r.scan, 13, r.modifiers);
        headlessframe();
        EXPECT_EQ(texscripts.func == before, !r.compiles) << r.scan;
        EXPECT_STREQ(screen.editor.body, r.body);
        EXPECT_EQ(screen.editor.modified, r.modified);
    }
    EXPECT_EQ(pixel(300, 30), 0x601010u);
    setbody("d1*c1*sc");
    presskey(scanenter, 13, modlctrl);
    headlessframe();
    ASSERT_NE(texscripts.func, nullptr);
    EXPECT_EQ(pixel(300, 30), 0u);
    EXPECT_EQ(previewimage(), freshpreview());
    // Each compile frees the code it replaces.
    int live = exprlivecode();
    for (int i = 0; i < 20; i++) {
        presskey(scanenter, 13, modlctrl);
        headlessframe();
    }
    EXPECT_EQ(exprlivecode(), live);
}

// A failed lock skips the whole frame: nothing read, nothing drawn.
TEST_F(ScreenTest, FailedLockSkipsTheFrame)
{
    headlessframe();
    std::vector<uint32_t> drawn = framepixels();
    int presents = headless.presents;
    presskey(scanf1);
    headless.lockfailures = 1;
    headlessframe();
    EXPECT_EQ(headless.presents, presents);
    EXPECT_EQ(framepixels(), drawn);
    EXPECT_EQ(screen.helppage, 0);
    headlessframe();
    EXPECT_EQ(screen.helppage, 1);
}

// Without grids (the rebuild ran out of memory) the preview is black and a
// rebuild is tried again a second later.
TEST_F(ScreenTest, PreviewWithoutGridsIsBlackAndRetried)
{
    headlessframe();
    std::vector<uint32_t> good = previewimage();
    resetpreview();
    moveto(28, 395);
    headlessframe();
    setbutton(0, true);
    headlessframe();
    setbutton(0, false);
    headlessframe();
    EXPECT_EQ(previewimage(), std::vector<uint32_t>(previewsize, 0));
    headlessframes(30);
    EXPECT_EQ(previewimage(), std::vector<uint32_t>(previewsize, 0));
    headlessframes(40);
    EXPECT_NE(previewimage(), std::vector<uint32_t>(previewsize, 0));
    EXPECT_EQ(previewimage(), freshpreview());
}

// Leaving the frame with no button held hands the mouse over (windowed
// only); the cursor stays on the edge; coming back puts it where the
// system cursor entered.
TEST_F(ScreenTest, CursorLeavingTheWindowReleasesTheMouse)
{
    movemouse(500, 0);                      // to x = 820
    headlessframe();
    EXPECT_EQ(headless.releases, 1);
    EXPECT_EQ(headless.releasex, 820);
    EXPECT_EQ(cursor.x, 799.0f);
    ASSERT_EQ(inputreenter(100, 700), 1);
    EXPECT_EQ(cursor.x, 100.0f);
    EXPECT_EQ(cursor.y, 599.0f);

    setbutton(0, true);                     // a held button keeps it
    movemouse(0, -1000);
    headlessframe();
    EXPECT_EQ(headless.releases, 1);
    EXPECT_EQ(cursor.y, 0.0f);

    headlessstart(true);                    // full screen keeps it
    movemouse(-1000, 0);
    headlessframe();
    EXPECT_EQ(headless.releases, 0);
    EXPECT_EQ(cursor.x, 0.0f);
}

// Right click on the preview: lighting off and on. Left drag: the light
// points from the preview's centre (148, 168) to the cursor.
TEST_F(ScreenTest, PreviewTogglesLightingAndTurnsTheLight)
{
    moveto(200, 100);
    headlessframe();
    setbutton(1, true);
    headlessframe();
    setbutton(1, false);
    headlessframe();
    EXPECT_EQ(preview.lighting, 0);
    EXPECT_EQ(previewimage(), freshpreview());
    setbutton(1, true);
    headlessframe();
    setbutton(1, false);
    EXPECT_EQ(preview.lighting, 1);
    setbutton(0, true);
    headlessframe();
    EXPECT_EQ(texscripts.script.lightangle, float(std::atan2(200.0 - 148.0, 100.0 - 168.0)));
    moveto(100, 250);
    headlessframe();
    EXPECT_EQ(texscripts.script.lightangle, float(std::atan2(100.0 - 148.0, 250.0 - 168.0)));
    EXPECT_EQ(previewimage(), freshpreview());
}

// A right click in the editor opens the menu at the cursor; it holds the
// capture, blanks the quick help, and closes on a left click anywhere or a
// new right press.
TEST_F(ScreenTest, ContextMenuOpensAtTheCursorAndCloses)
{
    const struct {
        int button;
        int x, y;
    } closers[] = {{0, 700, 500}, {1, 400, 100}, {0, 412, 205}};
    for (const auto &c : closers) {
        SCOPED_TRACE(c.button);
        headlessstart();
        moveto(400, 200);
        headlessframe();
        setbutton(1, true);
        headlessframe();
        setbutton(1, false);
        headlessframe();
        ASSERT_EQ(screen.active, ctlmenu);
        const control &m = screen.controls[ctlmenu];
        EXPECT_EQ(m.x0, 400);
        EXPECT_EQ(m.y1, 230);
        EXPECT_EQ(pixel(396, 196), 0x404080u);
        EXPECT_EQ(pixel(401, 201), 0x4060C0u);  // the entry under the cursor
        EXPECT_FALSE(helptextshown());
        moveto(c.x, c.y);
        headlessframe();
        EXPECT_EQ(screen.active, ctlmenu);      // captured wherever the cursor is
        setbutton(c.button, true);
        headlessframe();
        setbutton(c.button, false);
        headlessframe();
        EXPECT_EQ(screen.controls[ctlmenu].capture, 0);
        EXPECT_EQ(screen.controls[ctlmenu].x1, 0);
        headlessframe();
        EXPECT_NE(pixel(396, 196), 0x404080u);
    }
}

// The menu's entries are the editor's Ctrl+Insert, Shift+Insert and Delete.
TEST_F(ScreenTest, ContextMenuEntriesCopyPasteAndDelete)
{
    setbody("abcdef");
    for (int i = 0; i < 3; i++)
        presskey(scanright, 0, modlshift);
    headlessframe();
    ASSERT_EQ(screen.editor.anchor, 0);
    const struct {
        int entry;
        const char *body;
        const char *clipboard;
        int modified;
    } rows[] = {
        {0, "abcdef", "abc", 0},            // Copy keeps the text and the selection
        {2, "def", "abc", 1},               // Delete
        {1, "abcdef", "abc", 1},            // Paste at the cursor
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.entry);
        moveto(400, 200);
        setbutton(1, true);
        headlessframe();
        setbutton(1, false);
        moveto(410, 205 + 10 * r.entry);
        headlessframe();
        setbutton(0, true);
        headlessframe();
        setbutton(0, false);
        headlessframe();
        EXPECT_STREQ(screen.editor.body, r.body);
        EXPECT_EQ(headless.clipboard, r.clipboard);
        EXPECT_EQ(screen.editor.modified, r.modified);
        EXPECT_EQ(screen.controls[ctlmenu].capture, 0);
    }
}

// What the screen shows is what txtool render writes for the same script.
TEST_F(ScreenTest, PreviewMatchesTxtoolRenderOfTheSavedScript)
{
    moveto(196, 460);                       // B of group 2 to -1.875
    headlessframe();
    setbutton(0, true);
    headlessframe();
    moveto(548, 420);                       // and the shape to 0.625
    setbutton(0, false);
    headlessframe();
    setbutton(0, true);
    headlessframe();
    setbutton(0, false);
    headlessframe();
    ASSERT_EQ(texscripts.script.shape, 0.625f);
    std::string script = scratchpath("screen.tx"), png = scratchpath("screen.png"), output;
    ASSERT_EQ(savetexture(script.c_str()), 1);
    ASSERT_EQ(runcommand(std::string(TXTOOL) + " render " + script + " " + png + " 2>&1", &output), 0) << output;
    int w = 0, h = 0;
    std::vector<uint32_t> rendered;
    ASSERT_TRUE(readpng(png, &w, &h, &rendered));
    ASSERT_EQ(w, previewside);
    for (int y = 0; y < previewside; y++)
        for (int x = 0; x < previewside; x++)
            ASSERT_EQ(pixel(20 + x, 40 + y) | 0xFF000000u, rendered[size_t(y * previewside + x)]) << x << "," << y;
}

TEST_F(ScreenTest, FullScreenKeepsTheLayoutAndMovesTheBanner)
{
    headlessstart(true);
    headlessframe();
    ASSERT_EQ(headless.width, 1024);
    auto textin = [](int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                if (pixel(x, y) == 0x909090)
                    return true;
        return false;
    };
    EXPECT_TRUE(textin(714, 748, 1024, 756));
    EXPECT_FALSE(textin(490, 580, 800, 588));
    EXPECT_EQ(pixel(20, 8), buttoncolour);
}

// ---- history, live compiles, idle ------------------------------------------

// One history: a typing run, a line break with the typing after it, a run
// of Backspaces, a drag and a turn of the light are a step each; redo gives
// them back, a change drops what was undone; steps and bytes are bounded.
TEST_F(ScreenTest, UndoAndRedoTakeBoundedStepsBackAndForth)
{
    std::string start = screen.editor.body;
    float weight = texscripts.script.weights[0][0], light = texscripts.script.lightangle;
    auto drag = [](int x0, int y0, int x1, int y1) {
        moveto(x0, y0);
        setbutton(0, true);
        headlessframe();
        moveto(x1, y1);
        headlessframe();
        setbutton(0, false);
        headlessframe();
    };
    typetext("ab");
    presskey(scanenter);
    typetext("cd");
    presskey(scanbackspace);
    drag(28, 430, 28, 400);
    drag(28, 430, 28, 460);
    drag(100, 100, 200, 250);                   // the light
    ASSERT_NE(texscripts.script.lightangle, light);
    const struct {
        int scan;
        uint32_t modifiers;
        std::string text;                       // before the start's body
        float weight;
    } rows[] = {
        {scanz, modlctrl, "ab\nc", -1.875f}, {scanz, modrctrl, "ab\nc", 1.875f}, {scanz, modlctrl, "ab\nc", weight},
        {scanz, modlctrl, "ab\ncd", weight}, {scanz, modlctrl, "ab", weight},     {scanz, modlctrl, "", weight},
        {scanz, modlctrl, "", weight},       {scany, modlctrl, "ab", weight},     {scany, modrctrl, "ab\ncd", weight},
        {scanz, modlctrl | modlshift, "ab\nc", weight},                          {scany, modlctrl, "ab\nc", 1.875f},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.text);
        presskey(r.scan, 0, r.modifiers);
        headlessframe();
        EXPECT_EQ(screen.editor.body, r.text + start);
        EXPECT_EQ(texscripts.script.weights[0][0], r.weight);
    }
    EXPECT_EQ(texscripts.script.lightangle, light);
    typetext("x");                              // nothing left to redo
    presskey(scany, 0, modlctrl);
    headlessframe();
    EXPECT_EQ(screen.editor.body, "ab\ncx" + start);
    EXPECT_EQ(texscripts.script.weights[0][0], 1.875f);

    for (int i = 0; i < 3000; i++) {            // whole bodies, more than the bytes allowed
        std::memset(screen.editor.body, 'a' + i % 2, size_t(maxbodylength));
        screen.editor.length = maxbodylength;
        commit(stepedit, committext);
        ASSERT_LE(history.bytes, maxundobytes);
        ASSERT_LE(int(history.steps.size()), maxundosteps);
    }
    EXPECT_LT(history.steps.size(), 3000u);
    for (int i = 0; i < 1000; i++)
        ASSERT_NE(undo(), 0);
}

// F5: the text compiles after 0.3 s without changes; a failure leaves the
// expression and the preview, and marks the place; a success replaces them.
TEST_F(ScreenTest, LiveCompileAfterAPause)
{
    exprfunc first = texscripts.func;
    std::vector<uint32_t> image = previewimage();
    presskey(scanf5);
    presskey(scanend, 0, modlctrl);
    typetext("*(");
    headlessframes(10);                         // 1/6 s
    EXPECT_EQ(screen.compilefailed, 0);
    headlessframes(10);
    EXPECT_EQ(screen.compilefailed, 1);
    EXPECT_EQ(texscripts.func, first);
    EXPECT_EQ(previewimage(), image);
    EXPECT_GE(screen.editor.mark, 0);
    presskey(scanbackspace);
    typetext("0.5");
    headlessframes(20);
    EXPECT_EQ(screen.compilefailed, 0);
    EXPECT_NE(texscripts.func, first);
    EXPECT_NE(previewimage(), image);
    EXPECT_EQ(screen.editor.modified, 0);
    presskey(scanf5);
    typetext("+1");
    headlessframes(30);
    EXPECT_EQ(screen.editor.modified, 1);
}

// With nothing happening a frame is due only when the cursor blinks, twice
// a second; input, and the frame after one with input, are due at once.
TEST_F(ScreenTest, IdleDrawsOnlyAtTheBlink)
{
    moveto(790, 590);                           // over no control: no help text
    headlessframes(90);
    int frames = 0, shown = -1, turns = 0;
    for (double end = headless.now + 10.0; headless.now < end && frames < 1000; frames++) {
        headless.now += framewait(headless.now) - headless.step;      // headlessframe adds its step
        headlessframe();
        int on = screen.editor.blinkdeadline - screen.currenttime > 0.5;
        turns += shown >= 0 && on != shown;
        shown = on;
    }
    EXPECT_NEAR(frames, 20, 1);
    EXPECT_GE(turns, frames - 1);
    movemouse(1, 0);
    EXPECT_EQ(framewait(headless.now), 0.0);
    headlessframe();
    EXPECT_EQ(framewait(headless.now), 0.0);
    headlessframe();
    EXPECT_GT(framewait(headless.now), 0.0);
}

} // namespace

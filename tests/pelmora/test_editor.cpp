// The expression editor driven key by key and click by click, with a fake
// clipboard behind the platform seam; its drawing compared with the same
// text printed line by line.
#include "draw.h"
#include "editor.h"
#include "keys.h"
#include "platform.h"
#include "texscript.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

// The designer's start-up code defines the seam for the program; weak here
// so the test links with or without that definition.
__attribute__((weak)) platform host;

namespace {

struct {
    bool holds;
    std::string text;
} clip;
char *clipget() { return clip.holds ? strdup(clip.text.c_str()) : nullptr; }
void clipput(const char *text) { clip = {true, text}; }

constexpr uint32_t S = modlshift, RS = modrshift, C = modlctrl, RC = modrctrl;
uint32_t key(int scan, int ch = 0, uint32_t mods = 0) { return makekey(scan, ch, mods); }
uint32_t letter(char ch, uint32_t mods = 0) { return makekey(0x2D, ch, mods); }

void settext(const std::string &body, int cursor = 0, int anchor = -1)
{
    std::memcpy(texscripts.script.text, exprheader, exprheaderlength);
    std::memcpy(editbody(), body.c_str(), body.size() + 1);
    resetedit(int(body.size()));
    editor.cursor = cursor;
    editor.anchor = anchor;
}

// The body, after checking what must hold whatever the keys did: the header
// untouched and the first 0 exactly at the length.
std::string body()
{
    EXPECT_EQ(std::memcmp(texscripts.script.text, exprheader, exprheaderlength), 0);
    EXPECT_EQ(strnlen(editbody(), maxbodylength + 1), size_t(editor.length));
    return std::string(editbody(), size_t(editor.length));
}

struct Editor : ::testing::Test {
    void SetUp() override
    {
        host = {};
        host.getclipboard = clipget;
        host.setclipboard = clipput;
        clip = {};
        editor = {0, 0, -1, 0, 0.0};
    }
};

const char *const abcdefgh = "ab\ncdef\ngh";

struct keyrow {
    const char *name, *text;
    int cursor, anchor;
    uint32_t event;
    const char *clipboard;      // before the key; null = no text there
    const char *after;
    int cursorafter, anchorafter, result;
    const char *clipafter;      // null = as before
};

const keyrow keyrows[] = {
    {"Up to a shorter line", abcdefgh, 7, -1, key(scanup), 0, abcdefgh, 2, -1, 1, 0},
    {"Down keeps the column", abcdefgh, 2, -1, key(scandown), 0, abcdefgh, 5, -1, 1, 0},
    {"Down to a shorter last line", abcdefgh, 7, -1, key(scandown), 0, abcdefgh, 10, -1, 1, 0},
    {"Up keeps the column", abcdefgh, 9, -1, key(scanup), 0, abcdefgh, 4, -1, 1, 0},
    {"Up to an empty line", "ab\n\ncd", 5, -1, key(scanup), 0, "ab\n\ncd", 3, -1, 1, 0},
    {"Down to an empty line", "ab\n\ncd", 1, -1, key(scandown), 0, "ab\n\ncd", 3, -1, 1, 0},
    {"Up on the first line", abcdefgh, 1, -1, key(scanup), 0, abcdefgh, 1, -1, 1, 0},
    {"Down on the last line", abcdefgh, 9, -1, key(scandown), 0, abcdefgh, 9, -1, 1, 0},
    {"Home", abcdefgh, 6, -1, key(scanhome), 0, abcdefgh, 3, -1, 1, 0},
    {"Ctrl+Home", abcdefgh, 6, -1, key(scanhome, 0, C), 0, abcdefgh, 0, -1, 1, 0},
    {"End", abcdefgh, 4, -1, key(scanend), 0, abcdefgh, 7, -1, 1, 0},
    {"Ctrl+End", abcdefgh, 4, -1, key(scanend, 0, RC), 0, abcdefgh, 10, -1, 1, 0},
    {"Left at 0", abcdefgh, 0, -1, key(scanleft), 0, abcdefgh, 0, -1, 1, 0},
    {"Right at the end", abcdefgh, 10, -1, key(scanright), 0, abcdefgh, 10, -1, 1, 0},
    {"Right over an LF", abcdefgh, 2, -1, key(scanright), 0, abcdefgh, 3, -1, 1, 0},
    {"Shift+Right starts a selection", abcdefgh, 1, -1, key(scanright, 0, S), 0, abcdefgh, 2, 1, 1, 0},
    {"Shift+Up keeps the anchor", abcdefgh, 9, 10, key(scanup, 0, RS), 0, abcdefgh, 4, 10, 1, 0},
    {"Right alone drops it", abcdefgh, 2, 1, key(scanright), 0, abcdefgh, 3, -1, 1, 0},
    // word movement: letters and digits only
    {"Ctrl+Left stops after _", "foo_bar", 7, -1, key(scanleft, 0, C), 0, "foo_bar", 4, -1, 1, 0},
    {"Ctrl+Left over _ and a word", "foo_bar", 4, -1, key(scanleft, 0, C), 0, "foo_bar", 0, -1, 1, 0},
    {"Ctrl+Right over a word and _", "foo_bar", 0, -1, key(scanright, 0, C), 0, "foo_bar", 4, -1, 1, 0},
    {"Ctrl+Right to the end", "foo_bar", 4, -1, key(scanright, 0, RC), 0, "foo_bar", 7, -1, 1, 0},
    {"Ctrl+Right over spaces and LF", "ab  \n cd", 0, -1, key(scanright, 0, C), 0, "ab  \n cd", 6, -1, 1, 0},
    {"Ctrl+Right on an LF", "ab\n cd", 2, -1, key(scanright, 0, C), 0, "ab\n cd", 3, -1, 1, 0},
    {"Ctrl+Left after an LF", "ab \n\n", 5, -1, key(scanleft, 0, C), 0, "ab \n\n", 4, -1, 1, 0},
    {"Ctrl+Left over spaces and LF", "ab\n  cd", 5, -1, key(scanleft, 0, C), 0, "ab\n  cd", 0, -1, 1, 0},
    // deleting
    {"Backspace, anchor before", "abcdef", 4, 1, key(scanbackspace), 0, "aef", 1, -1, 2, 0},
    {"Backspace, anchor after", "abcdef", 1, 4, key(scanbackspace), 0, "aef", 1, -1, 2, 0},
    {"Delete, anchor before", "abcdef", 4, 1, key(scandelete), 0, "aef", 1, -1, 2, 0},
    {"Delete, anchor after", "abcdef", 1, 4, key(scandelete), 0, "aef", 1, -1, 2, 0},
    {"Backspace, empty selection", "abc", 2, 2, key(scanbackspace), 0, "ac", 1, -1, 2, 0},
    {"Backspace joins lines", "ab\ncd", 3, -1, key(scanbackspace), 0, "abcd", 2, -1, 2, 0},
    {"Backspace at 0", "abc", 0, -1, key(scanbackspace), 0, "abc", 0, -1, 1, 0},
    {"Delete", "abc", 1, -1, key(scandelete), 0, "ac", 1, -1, 2, 0},
    {"Delete at the end", "abc", 3, -1, key(scandelete), 0, "abc", 3, -1, 1, 0},
    {"Shift+Delete", "abc", 1, -1, key(scandelete, 0, S), 0, "ac", 1, 1, 2, 0},
    {"Shift+Backspace at the end", "abc", 3, -1, key(scanbackspace, 0, S), 0, "ab", 2, 2, 2, 0},
    // typing
    {"a letter beside a selection", "abc", 2, 1, letter('x'), 0, "abxc", 3, -1, 2, 0},
    {"Shift+letter", "abc", 1, -1, letter('X', S), 0, "aXbc", 2, -1, 2, 0},
    {"main Enter", "ab", 1, -1, key(scanenter, 13), 0, "a\nb", 2, -1, 2, 0},
    {"main Enter without a character", "ab", 1, -1, key(scanenter, 0, S), 0, "a\nb", 2, -1, 2, 0},
    {"keypad Enter", "ab", 1, -1, key(scankpenter, 13), 0, "ab", 1, -1, 0, 0},
    {"Tab", "ab", 1, -1, key(scantab, 9), 0, "ab", 1, -1, 0, 0},
    {"F5", "ab", 1, -1, key(0x3F), 0, "ab", 1, -1, 0, 0},
    {"a byte above 127", "ab", 1, -1, key(0x12, 0xE9), 0, "a\xE9" "b", 2, -1, 2, 0},
    // clipboard
    {"Insert alone", "abc", 3, 1, key(scaninsert), "old", "abc", 3, -1, 1, 0},
    {"Ctrl+Insert keeps the selection", "abc", 3, 1, key(scaninsert, 0, C), "old", "abc", 3, 1, 1, "bc"},
    {"Ctrl+Insert, empty selection", "abc", 1, 1, key(scaninsert, 0, RC), "old", "abc", 1, 1, 1, 0},
    {"Ctrl+Insert, no selection", "abc", 1, -1, key(scaninsert, 0, C), "old", "abc", 1, -1, 1, 0},
    {"copy adds LF after CR", "p\rq!", 0, 3, key(scaninsert, 0, C), 0, "p\rq!", 0, 3, 1, "p\r\nq"},
    {"paste drops CR, selects", "ab", 1, -1, key(scaninsert, 0, S), "x\r\ny", "ax\nyb", 4, 1, 2, 0},
    {"paste beside a selection", "abcd", 3, 1, key(scaninsert, 0, S), "Z", "abcZd", 4, 3, 2, 0},
    {"Ctrl+Shift+Insert pastes", "ab", 2, -1, key(scaninsert, 0, S | C), "Z", "abZ", 3, 2, 2, 0},
    {"paste, empty clipboard", "ab", 1, -1, key(scaninsert, 0, S), 0, "ab", 1, 1, 1, 0},
};

TEST_F(Editor, KeyTable)
{
    for (const keyrow &r : keyrows) {
        SCOPED_TRACE(r.name);
        clip = {r.clipboard != nullptr, r.clipboard ? r.clipboard : ""};
        settext(r.text, r.cursor, r.anchor);
        EXPECT_EQ(editkey(r.event), r.result);
        EXPECT_EQ(body(), r.after);
        EXPECT_EQ(editor.cursor, r.cursorafter);
        EXPECT_EQ(editor.anchor, r.anchorafter);
        const char *want = r.clipafter ? r.clipafter : r.clipboard;
        EXPECT_EQ(clip.holds, want != nullptr);
        EXPECT_EQ(clip.text, want ? want : "");
    }
}

// Word bytes against the C library's idea of an ASCII letter or digit.
TEST_F(Editor, WordBytes)
{
    for (int c = 1; c < 256; c++) {
        SCOPED_TRACE(c);
        bool word = std::isalnum(c) != 0;
        settext({char(c), 'y'});
        editkey(key(scanright, 0, C));
        EXPECT_EQ(editor.cursor, word ? 2 : 1);
        settext({'.', char(c)}, 2);
        editkey(key(scanleft, 0, C));
        EXPECT_EQ(editor.cursor, word || c == '\n' ? 1 : 0);
    }
}

TEST_F(Editor, ShiftRightThenLetter)
{
    settext("abc", 1);
    EXPECT_EQ(editkey(key(scanright, 0, S)), 1);
    EXPECT_EQ(editkey(letter('x')), 2);
    EXPECT_EQ(body(), "abxc");
    EXPECT_EQ(editor.anchor, -1);
}

// Typing and pasting at and next to the 8153-byte limit.
TEST_F(Editor, LengthLimit)
{
    struct row {
        int length;
        uint32_t event;
        const char *clipboard;
        int result, lengthafter;
    } rows[] = {
        {maxbodylength - 1, letter('b'), 0, 2, maxbodylength},
        {maxbodylength, letter('b', S), 0, 1, maxbodylength},
        {maxbodylength, key(scanenter, 13), 0, 1, maxbodylength},
        {maxbodylength - 2, key(scaninsert, 0, S), "xy", 2, maxbodylength},
        {maxbodylength - 1, key(scaninsert, 0, S), "xy", 2, maxbodylength - 1},
        {maxbodylength - 2, key(scaninsert, 0, S), "x\r\ny", 2, maxbodylength - 2},
        {maxbodylength - 2, key(scaninsert, 0, S), "x\r\n", 2, maxbodylength},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.length - maxbodylength);
        clip = {r.clipboard != nullptr, r.clipboard ? r.clipboard : ""};
        int at = r.length / 2;
        settext(std::string(size_t(r.length), 'a'), at, r.length);
        EXPECT_EQ(editkey(r.event), r.result);
        EXPECT_EQ(body().size(), size_t(r.lengthafter));
        EXPECT_EQ(texscripts.script.text[exprtextsize - 1], 0);
        int inserted = r.lengthafter - r.length;
        EXPECT_EQ(editor.cursor, at + inserted);
        // a refused paste still drops the selection and selects nothing
        EXPECT_EQ(editor.anchor, r.clipboard ? at : -1);
    }
}

// Random keys, pastes and clicks near a full body: positions stay inside
// the body and its 0 stays at the length (run it under the sanitizers).
TEST_F(Editor, KeyStormKeepsTheBodyWhole)
{
    const int scans[] = {scanbackspace, scanhome, scanup, scanleft, scanright, scanend,
                         scandown,      scaninsert, scandelete, scanenter, 0x2D, scankpenter};
    const uint32_t mods[] = {0, S, C, S | C};
    std::mt19937 random(11);
    settext(std::string(maxbodylength - 40, 'w') + "\r\n_x", 5);
    for (int step = 0; step < 20000; step++) {
        clip = {true, std::string(random() % 30, "a\r\n_"[random() % 4])};
        if (random() % 8 == 0)
            clicktocursor(300, 48, 296, int(random() % 800), int(random() % 600), int(random() % 2));
        else
            editkey(key(scans[random() % std::size(scans)], int(random() % 256), mods[random() % 4]));
        ASSERT_LE(editor.cursor, editor.length);
        ASSERT_LE(editor.anchor, editor.length);
        ASSERT_GE(editor.anchor, -1);
        ASSERT_EQ(strnlen(editbody(), maxbodylength + 1), size_t(editor.length));
    }
}

TEST_F(Editor, CopyAddsLineFeedAfterCarriageReturn)
{
    copytoclip("a\rb\r\nc\n");
    EXPECT_EQ(clip.text, "a\r\nb\r\n\nc\n");
    host.setclipboard = nullptr;
    copytoclip("x");
    EXPECT_EQ(clip.text, "a\r\nb\r\n\nc\n");
}

std::string lines(int n)
{
    std::string s;
    for (int k = 0; k < n; k++)
        s += (k ? "\n" : "") + std::string("line ") + std::to_string(k);
    return s;
}

struct clickrow {
    const char *name;
    int lines;                  // 0: ab / cdef / gh
    int cursor, anchor, mx, my, extend;
    int cursorafter, anchorafter;
};

const clickrow clickrows[] = {
    {"in a line", 0, 0, -1, 312, 57, 0, 5, -1},
    {"4 px into a cell", 0, 0, -1, 304, 48, 0, 1, -1},
    {"3 px into a cell", 0, 0, -1, 303, 55, 0, 0, -1},
    {"right of a short line", 0, 0, -1, 400, 48, 0, 2, -1},
    {"right of the last line", 0, 0, -1, 400, 70, 0, 10, -1},
    {"below the last line", 0, 0, -1, 310, 72, 0, 10, -1},
    {"far below the last line", 0, 0, -1, 300, 295, 0, 10, -1},
    {"above the top", 0, 5, 2, 310, 47, 0, 0, -1},
    {"above the top and left", 0, 5, 2, 10, 47, 0, 0, -1},
    {"above the top, extending", 0, 5, -1, 310, 47, 1, 0, 5},
    {"left of the editor", 0, 5, 2, 299, 50, 0, 5, 2},
    {"plain click drops the selection", 0, 5, 1, 306, 48, 0, 1, -1},
    {"Shift+click extends from the cursor", 0, 2, -1, 318, 64, 1, 10, 2},
    {"extending keeps the anchor", 0, 5, 1, 300, 48, 1, 0, 1},
    {"last line in reach", 40, 0, -1, 306, 288, 0, 231, -1},
    {"the row under the bottom", 40, 0, -1, 306, 296, 0, 239, -1},
    {"past the bottom: cursor stays", 40, 7, 3, 306, 400, 0, 7, -1},
};

TEST_F(Editor, Clicks)
{
    for (const clickrow &r : clickrows) {
        SCOPED_TRACE(r.name);
        settext(r.lines ? lines(r.lines) : abcdefgh, r.cursor, r.anchor);
        clicktocursor(300, 48, 296, r.mx, r.my, r.extend);
        EXPECT_EQ(editor.cursor, r.cursorafter);
        EXPECT_EQ(editor.anchor, r.anchorafter);
    }
}

// Frame by frame as the screen calls it: the press does not extend, the
// frames while the button stays down do.
TEST_F(Editor, DragSelects)
{
    settext(abcdefgh, 9);
    clicktocursor(300, 48, 296, 306, 48, 0);
    EXPECT_EQ(editor.cursor, 1);
    EXPECT_EQ(editor.anchor, -1);
    clicktocursor(300, 48, 296, 318, 56, 1);
    EXPECT_EQ(editor.cursor, 6);
    EXPECT_EQ(editor.anchor, 1);
    clicktocursor(300, 48, 296, 300, 48, 1);
    EXPECT_EQ(editor.cursor, 0);
    EXPECT_EQ(editor.anchor, 1);
}

struct frame {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(800 * 600, 0x123456);
    void start() { setframe(pixels.data(), 800 * 4, 800, 600); }
};

// The expected picture from printtext alone: lines given as they appear.
void printlines(const std::vector<std::string> &shown, bool dots)
{
    for (size_t k = 0; k < shown.size(); k++)
        printtext(300, 48 + 8 * int(k), 0xC0C0C0, transparent, "%s", shown[k].c_str());
    if (dots)
        printtext(300, 48 + 8 * int(shown.size()), 0xC0C0C0, transparent, "...");
}

TEST_F(Editor, LongTextShowsThirtyOneLines)
{
    for (int n : {1, 30, 31, 32, 40}) {
        SCOPED_TRACE(n);
        settext(lines(n), 0);
        frame got, want;
        got.start();
        drawedittext(300, 48, 30, 100.0);
        want.start();
        std::vector<std::string> shown;
        for (int k = 0; k < std::min(n, 31); k++)
            shown.push_back("line " + std::to_string(k));
        printlines(shown, n > 31);
        EXPECT_TRUE(got.pixels == want.pixels);
    }
}

TEST_F(Editor, SelectionAndCursor)
{
    struct row {
        int cursor, anchor;
        double deadline;        // now = 10
        bool cursorshown;
    } rows[] = {{4, 1, 10.75, true}, {1, 4, 10.75, true}, {4, 1, 10.5, false}, {4, -1, 11.0, true}};
    for (const row &r : rows) {
        SCOPED_TRACE(r.cursor * 100 + r.anchor);
        settext("ab\ncd\nef", r.cursor, r.anchor);
        editor.blinkdeadline = r.deadline;
        frame got, want;
        got.start();
        drawedittext(300, 48, 30, 10.0);
        want.start();
        printlines({"ab", "cd", "ef"}, false);
        if (r.anchor != -1) {
            // "b" and its line feed, then "c"
            printtext(306, 48, 0, 0xC0C0C0, "b ");
            printtext(300, 56, 0, 0xC0C0C0, "c");
            for (int y = 48; y < 56; y++)
                for (int x = 312; x < 318; x++)
                    EXPECT_EQ(got.pixels[size_t(y * 800 + x)], 0xC0C0C0u) << x << "," << y;
        }
        int cursorx = 306, cursory = r.cursor == 4 ? 55 : 47;
        if (r.cursorshown)
            fillrect(cursorx, cursory, 1, 9, 0xFFFFFFFF);
        EXPECT_EQ(got.pixels[size_t(cursory * 800 + cursorx)] == 0xFFFFFFFF, r.cursorshown);
        EXPECT_TRUE(got.pixels == want.pixels);
    }
}

} // namespace

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
#include <utility>
#include <vector>

// The designer's start-up code defines the seam for the program; weak here
// so the test links with or without that definition.
__attribute__((weak)) platform host;

namespace {

editorstate editor;     // over the designer's body; the header before it must stay untouched
char *editbody() { return texscripts.script.text + exprheaderlength; }

struct {
    bool holds;
    std::string text;
} clip;
char *clipget() { return clip.holds ? strdup(clip.text.c_str()) : nullptr; }
void clipput(const char *text) { clip = {true, text}; }
void offer(const char *text) { clip = {text != nullptr, text ? text : ""}; }

constexpr uint32_t S = modlshift, RS = modrshift, C = modlctrl, RC = modrctrl;
uint32_t key(int scan, int ch = 0, uint32_t mods = 0) { return makekey(scan, ch, mods); }
uint32_t letter(char ch, uint32_t mods = 0) { return makekey(0x2D, ch, mods); }

// Editor states written as text: "|" the cursor, "^" the anchor.
void settext(const std::string &marked)
{
    std::string text;
    editor.anchor = -1;
    for (char c : marked) {
        if (c == '|')
            editor.cursor = int(text.size());
        else if (c == '^')
            editor.anchor = int(text.size());
        else
            text += c;
    }
    std::memcpy(texscripts.script.text, exprheader, exprheaderlength);
    std::memcpy(editbody(), text.c_str(), text.size() + 1);
    int cursor = editor.cursor, anchor = editor.anchor;
    resetedit(editor, editbody(), int(text.size()));
    editor.cursor = cursor;
    editor.anchor = anchor;
}

// The state as text again, after checking what must hold whatever the keys
// did: the header untouched and the first 0 exactly at the length.
std::string marked()
{
    EXPECT_EQ(std::memcmp(texscripts.script.text, exprheader, exprheaderlength), 0);
    EXPECT_EQ(strnlen(editbody(), maxbodylength + 1), size_t(editor.length));
    std::string s;
    for (int i = 0; i <= editor.length; i++) {
        s += i == editor.anchor ? "^" : "";
        s += i == editor.cursor ? "|" : "";
        s += i < editor.length ? std::string(1, editbody()[i]) : "";
    }
    return s;
}

struct Editor : ::testing::Test {
    void SetUp() override
    {
        host = {};
        host.getclipboard = clipget;
        host.setclipboard = clipput;
        clip = {};
        editor = {editbody(), 0, 0, -1, 0, 0.0, 0, 0, -1, 0};
    }
};

struct keyrow {
    const char *before;
    uint32_t event;
    const char *clipboard;      // before the key; null = no text there
    const char *after;
    int result;                 // editunused 0, editmoved 1, editchanged 2
    const char *clipafter;      // null = as before
};

const keyrow keyrows[] = {
    // moving: Up and Down keep the column where the line is long enough
    {"ab\ncdef|\ngh", key(scanup), 0, "ab|\ncdef\ngh", 1, 0},
    {"ab|\ncdef\ngh", key(scandown), 0, "ab\ncd|ef\ngh", 1, 0},
    {"ab\ncdef|\ngh", key(scandown), 0, "ab\ncdef\ngh|", 1, 0},
    {"ab\n\nc|d", key(scanup), 0, "ab\n|\ncd", 1, 0},
    {"a|b\n\ncd", key(scandown), 0, "ab\n|\ncd", 1, 0},
    {"a|b\ncd", key(scanup), 0, "a|b\ncd", 1, 0},
    {"ab\nc|d", key(scandown), 0, "ab\nc|d", 1, 0},
    {"ab\ncd|ef", key(scanhome), 0, "ab\n|cdef", 1, 0},
    {"ab\ncd|ef", key(scanhome, 0, C), 0, "|ab\ncdef", 1, 0},
    {"ab\nc|de\nf", key(scanend), 0, "ab\ncde|\nf", 1, 0},
    {"ab\nc|de\nf", key(scanend, 0, RC), 0, "ab\ncde\nf|", 1, 0},
    {"|ab", key(scanleft), 0, "|ab", 1, 0},
    {"ab|", key(scanright), 0, "ab|", 1, 0},
    {"ab|\ncd", key(scanright), 0, "ab\n|cd", 1, 0},
    {"a|bc", key(scanright, 0, S), 0, "a^b|c", 1, 0},
    {"ab\ncd\ne|f^", key(scanup, 0, RS), 0, "ab\nc|d\nef^", 1, 0},
    {"a^b|c", key(scanright), 0, "abc|", 1, 0},
    // words are letters and digits: "_" and LF separate them
    {"foo_bar|", key(scanleft, 0, C), 0, "foo_|bar", 1, 0},
    {"foo_|bar", key(scanleft, 0, C), 0, "|foo_bar", 1, 0},
    {"|foo_bar", key(scanright, 0, C), 0, "foo_|bar", 1, 0},
    {"foo_|bar", key(scanright, 0, RC), 0, "foo_bar|", 1, 0},
    {"|ab  \n cd", key(scanright, 0, C), 0, "ab  \n |cd", 1, 0},
    {"ab|\n cd", key(scanright, 0, C), 0, "ab\n| cd", 1, 0},
    {"ab \n\n|", key(scanleft, 0, C), 0, "ab \n|\n", 1, 0},
    {"ab\n  |cd", key(scanleft, 0, C), 0, "|ab\n  cd", 1, 0},
    // deleting: a selection in either direction, else one byte
    {"a^bcd|ef", key(scanbackspace), 0, "a|ef", 2, 0},
    {"a|bcd^ef", key(scanbackspace), 0, "a|ef", 2, 0},
    {"a^bcd|ef", key(scandelete), 0, "a|ef", 2, 0},
    {"a|bcd^ef", key(scandelete), 0, "a|ef", 2, 0},
    {"ab^|c", key(scanbackspace), 0, "a|c", 2, 0},
    {"ab\n|cd", key(scanbackspace), 0, "ab|cd", 2, 0},
    {"|abc", key(scanbackspace), 0, "|abc", 1, 0},
    {"a|bc", key(scandelete), 0, "a|c", 2, 0},
    {"abc|", key(scandelete), 0, "abc|", 1, 0},
    {"a|bc", key(scandelete, 0, S), 0, "a^|c", 2, 0},
    {"abc|", key(scanbackspace, 0, S), 0, "ab^|", 2, 0},    // the anchor stays in the body
    // typing drops a selection and leaves its text
    {"a^b|c", letter('x'), 0, "abx|c", 2, 0},
    {"a|bc", letter('X', S), 0, "aX|bc", 2, 0},
    {"a|b", key(scanenter, 13), 0, "a\n|b", 2, 0},
    {"a|b", key(scanenter, 0, S), 0, "a\n|b", 2, 0},
    {"a|b", key(scankpenter, 13), 0, "a|b", 0, 0},
    {"a|b", key(scantab, 9), 0, "a|b", 0, 0},
    {"a|b", key(0x3F), 0, "a|b", 0, 0},
    {"a|b", key(0x12, 0xE9), 0, "a\xE9|b", 2, 0},
    // clipboard
    {"a^bc|", key(scaninsert), "old", "abc|", 1, 0},
    {"a^bc|", key(scaninsert, 0, C), "old", "a^bc|", 1, "bc"},
    {"a^|bc", key(scaninsert, 0, RC), "old", "a^|bc", 1, 0},
    {"a|bc", key(scaninsert, 0, C), "old", "a|bc", 1, 0},
    {"|p\rq^!", key(scaninsert, 0, C), 0, "|p\rq^!", 1, "p\r\nq"},
    {"a|b", key(scaninsert, 0, S), "x\r\ny", "a^x\ny|b", 2, 0},
    {"a^bc|d", key(scaninsert, 0, S), "Z", "abc^Z|d", 2, 0},
    {"ab|", key(scaninsert, 0, S | C), "Z", "ab^Z|", 2, 0},
    {"a|b", key(scaninsert, 0, S), 0, "a^|b", 1, 0},
    // the usual shortcuts beside them; without Ctrl the keys type
    {"a^bc|", key(scanc, 0, C), "old", "a^bc|", 1, "bc"},
    {"a|bc", key(scanc, 0, C), "old", "a|bc", 1, 0},
    {"a^bc|d", key(scanx, 0, RC), "old", "a|d", 2, "bc"},
    {"a|bc", key(scanx, 0, C), "old", "a|bc", 1, 0},
    {"a|b", key(scanv, 0, C), "x\r\ny", "a^x\ny|b", 2, 0},
    {"a|b\nc", key(scana, 0, C), 0, "^ab\nc|", 1, 0},
    {"a|b", key(scanc, 'c'), 0, "ac|b", 2, 0},
    {"a|b", key(scanv, 'V', S), 0, "aV|b", 2, 0},
};

TEST_F(Editor, KeyTable)
{
    for (const keyrow &r : keyrows) {
        SCOPED_TRACE(testing::PrintToString(r.before) + " scan " + std::to_string(keyscan(r.event)));
        offer(r.clipboard);
        settext(r.before);
        EXPECT_EQ(editkey(editor, r.event), r.result);
        EXPECT_EQ(marked(), r.after);
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
        settext({'|', char(c), 'y'});
        editkey(editor, key(scanright, 0, C));
        EXPECT_EQ(editor.cursor, word ? 2 : 1);
        settext({'.', char(c), '|'});
        editkey(editor, key(scanleft, 0, C));
        EXPECT_EQ(editor.cursor, word || c == '\n' ? 1 : 0);
    }
}

// Typing and pasting at and next to the 8153-byte limit, in the middle of
// a selected body.
TEST_F(Editor, LengthLimit)
{
    struct row {
        int length;
        uint32_t event;
        const char *clipboard;
        int result, inserted;
    } rows[] = {
        {maxbodylength - 1, letter('b'), 0, 2, 1},
        {maxbodylength, letter('b', S), 0, 1, 0},
        {maxbodylength, key(scanenter, 13), 0, 1, 0},
        {maxbodylength - 2, key(scaninsert, 0, S), "xy", 2, 2},
        {maxbodylength - 1, key(scaninsert, 0, S), "xy", 2, 0},
        {maxbodylength - 2, key(scaninsert, 0, S), "x\r\ny", 2, 0},
        {maxbodylength - 2, key(scaninsert, 0, S), "x\r\n", 2, 2},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.length - maxbodylength);
        offer(r.clipboard);
        int at = r.length / 2;
        settext(std::string(size_t(at), 'a') + "|" + std::string(size_t(r.length - at), 'a') + "^");
        EXPECT_EQ(editkey(editor, r.event), r.result);
        EXPECT_EQ(marked().size(), size_t(r.length + r.inserted + (r.clipboard ? 2 : 1)));
        EXPECT_EQ(texscripts.script.text[exprtextsize - 1], 0);
        EXPECT_EQ(editor.cursor, at + r.inserted);
        EXPECT_EQ(editor.anchor, r.clipboard ? at : -1);   // a refused paste selects nothing
    }
}

// Random keys, pastes and clicks near a full body: positions stay inside
// the body and its 0 at the length (run it under the sanitizers).
TEST_F(Editor, KeyStormKeepsTheBodyWhole)
{
    const int scans[] = {scanbackspace, scanhome, scanup,    scanleft, scanright,   scanend,
                         scandown,      scaninsert, scandelete, scanenter, 0x2D, scankpenter};
    const uint32_t mods[] = {0, S, C, S | C};
    std::mt19937 random(11);
    settext(std::string(maxbodylength - 40, 'w') + "\r\n_x|");
    for (int step = 0; step < 20000; step++) {
        clip = {true, std::string(random() % 30, "a\r\n_"[random() % 4])};
        if (random() % 8 == 0)
            clicktocursor(editor, 300, 48, 296, int(random() % 800), int(random() % 600), int(random() % 2));
        else
            editkey(editor, key(scans[random() % std::size(scans)], int(random() % 256), mods[random() % 4]));
        ASSERT_LE(editor.cursor, editor.length);
        ASSERT_LE(editor.anchor, editor.length);
        ASSERT_GE(editor.anchor, -1);
        ASSERT_EQ(strnlen(editbody(), maxbodylength + 1), size_t(editor.length));
    }
}

// A paste brings what the keyboard could type and counts what it left out:
// Tab, control characters, the smiley (code 1, a glyph no key types), the
// euro sign (no glyph), a byte that is no UTF-8; CRs go with line breaks.
TEST_F(Editor, PasteLeavesOutWhatNoKeyTypes)
{
    const struct {
        const char *clipboard, *after;
        int leftout;
    } rows[] = {{"a\tb\x01" "c\xE2\x82\xAC\r\nd\xC3\xA9", "^abc\nd\x82|", 3}, {"\xE2\x98\xBA\x1B\x7F", "^\x7F|", 2},
                {"\xE9", "^|", 1}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.clipboard);
        offer(r.clipboard);
        settext("|");
        EXPECT_EQ(editkey(editor, key(scanv, 0, C)), editchanged);
        EXPECT_EQ(marked(), r.after);
        EXPECT_EQ(editor.leftout, r.leftout);
    }
}

// Copies go out as UTF-8: code page 437 characters as their Unicode values.
TEST_F(Editor, CopyAddsLineFeedAfterCarriageReturn)
{
    copytoclip("\x82\x01");
    EXPECT_EQ(clip.text, "\xC3\xA9\xE2\x98\xBA");
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

// Editor at (300, 48), bottom 296: lines ab / cdef / gh cover rows 48-55,
// 56-63 and 64-71.
const struct {
    const char *before;
    int mx, my, extend;
    const char *after;
} clickrows[] = {
    {"|ab\ncdef\ngh", 312, 57, 0, "ab\ncd|ef\ngh"},
    {"|ab\ncdef\ngh", 304, 48, 0, "a|b\ncdef\ngh"},         // 4 px into a cell
    {"a|b\ncdef\ngh", 303, 55, 0, "|ab\ncdef\ngh"},         // 3 px into it
    {"|ab\ncdef\ngh", 400, 48, 0, "ab|\ncdef\ngh"},         // right of a short line
    {"|ab\ncdef\ngh", 400, 70, 0, "ab\ncdef\ngh|"},
    {"|ab\ncdef\ngh", 310, 72, 0, "ab\ncdef\ngh|"},         // below the last line
    {"|ab\ncdef\ngh", 300, 295, 0, "ab\ncdef\ngh|"},
    {"ab^\ncd|ef\ngh", 310, 47, 0, "|ab\ncdef\ngh"},        // above the top
    {"ab^\ncd|ef\ngh", 10, 47, 0, "|ab\ncdef\ngh"},
    {"ab\ncd|ef\ngh", 310, 47, 1, "|ab\ncd^ef\ngh"},
    {"ab^\ncd|ef\ngh", 299, 50, 0, "ab^\ncd|ef\ngh"},       // left of the editor
    {"a^b\ncd|ef\ngh", 306, 48, 0, "a|b\ncdef\ngh"},
    {"ab|\ncdef\ngh", 318, 64, 1, "ab^\ncdef\ngh|"},        // Shift+click
    {"a^b\ncd|ef\ngh", 300, 48, 1, "|a^b\ncdef\ngh"},
};

TEST_F(Editor, Clicks)
{
    for (const auto &r : clickrows) {
        SCOPED_TRACE(testing::PrintToString(r.before) + " " + std::to_string(r.mx) + "," + std::to_string(r.my));
        settext(r.before);
        clicktocursor(editor, 300, 48, 296, r.mx, r.my, r.extend);
        EXPECT_EQ(marked(), r.after);
    }
    // 40 lines, line k from 70 + 8 (k - 10): line 30 is the last in reach,
    // the row under it still reaches line 31, further down the cursor stays.
    for (auto [my, cursor] : {std::pair{288, 231}, {296, 239}, {400, 7}}) {
        settext(lines(40));
        editor.cursor = 7;
        editor.anchor = 3;
        clicktocursor(editor, 300, 48, 296, 306, my, 0);
        EXPECT_EQ(editor.cursor, cursor) << my;
        EXPECT_EQ(editor.anchor, -1);
    }
}

// Frame by frame as the screen calls it: the press does not extend, the
// frames while the button stays down do.
TEST_F(Editor, DragSelects)
{
    settext("ab\ncdef\ng|h");
    clicktocursor(editor, 300, 48, 296, 306, 48, 0);
    EXPECT_EQ(marked(), "a|b\ncdef\ngh");
    clicktocursor(editor, 300, 48, 296, 318, 56, 1);
    EXPECT_EQ(marked(), "a^b\ncde|f\ngh");
    clicktocursor(editor, 300, 48, 296, 300, 48, 1);
    EXPECT_EQ(marked(), "|a^b\ncdef\ngh");
}

struct frame {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(800 * 600, 0x123456);
    void start() { setframe(pixels.data(), 800 * 4, 800, 600); }
    uint32_t at(int x, int y) const { return pixels[size_t(y * 800 + x)]; }
};

// The expected picture from printtext alone, the lines given as shown.
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
        settext(lines(n));
        frame got, want;
        got.start();
        drawedittext(editor, 300, 48, 30, 100.0);
        want.start();
        std::vector<std::string> shown;
        for (int k = 0; k < std::min(n, 31); k++)
            shown.push_back("line " + std::to_string(k));
        printlines(shown, n > 31);
        EXPECT_TRUE(got.pixels == want.pixels);
    }
}

// "b", its line feed (a blank grey cell) and "c" selected; the cursor bar
// only while the deadline is more than half a second away.
TEST_F(Editor, SelectionAndCursor)
{
    struct row {
        const char *text;
        double deadline;        // now = 10
        int cursory;            // 0: no cursor
    } rows[] = {{"a^b\nc|d\nef", 10.75, 55}, {"a|b\nc^d\nef", 10.75, 47}, {"a^b\nc|d\nef", 10.5, 0}};
    for (const row &r : rows) {
        SCOPED_TRACE(r.text);
        settext(r.text);
        editor.blinkdeadline = r.deadline;
        frame got, want;
        got.start();
        drawedittext(editor, 300, 48, 30, 10.0);
        want.start();
        printlines({"ab", "cd", "ef"}, false);
        printtext(306, 48, 0, 0xC0C0C0, "b ");
        printtext(300, 56, 0, 0xC0C0C0, "c");
        if (r.cursory)
            fillrect(306, r.cursory, 1, 9, 0xFFFFFFFF);
        EXPECT_TRUE(got.pixels == want.pixels);
        for (int y = 48; y < 56; y++)
            for (int x = 312; x < 318; x++)
                EXPECT_EQ(got.at(x, y), 0xC0C0C0u) << x << "," << y;
        EXPECT_EQ(got.at(306, r.cursory ? r.cursory + 8 : 55) == 0xFFFFFFFF, r.cursory != 0);
    }
}

} // namespace

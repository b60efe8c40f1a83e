// The expression editor: keys, mouse placement, drawing and the clipboard.
//
// Positions are offsets into the body (0 = before its first byte). The body
// always ends with a 0 at `editor.length`, so no walk ever needs to look past
// it; every length is held to maxbodylength, so the last byte that can be
// written is the buffer's last.
#include "editor.h"
#include "draw.h"
#include "font.h"
#include "keys.h"
#include "platform.h"
#include "texscript.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

static_assert(exprheaderlength + maxbodylength + 1 == exprtextsize, "the body and its 0 fill the text");

editorstate editor = {0, 0, -1, 0, 0.0};

namespace {

constexpr uint32_t textcolour = 0xC0C0C0;
constexpr uint32_t selectedcolour = 0x000000;
constexpr uint32_t cursorcolour = 0xFFFFFFFF;
constexpr int lineheight = fontheight;

enum keyresult { notused = 0, moved = 1, changed = 2 };

// Word movement stops at letters and digits only: "_" and LF separate words.
bool isword(char c)
{
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> t{};
        for (int ch = 0; ch < 256; ch++)
            t[ch] = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9');
        return t;
    }();
    return table[static_cast<unsigned char>(c)];
}

// Start of the line holding `pos`: just after the LF before it, or 0.
int linestart(const char *body, int pos)
{
    while (pos > 0 && body[pos - 1] != '\n')
        pos--;
    return pos;
}

// End of the line holding `pos`: its LF, or the body's end.
int lineend(const char *body, int length, int pos)
{
    while (pos < length && body[pos] != '\n')
        pos++;
    return pos;
}

// A state someone else set up (or a body put in place without resetedit)
// must not send a later edit outside the buffer.
void keepinrange()
{
    editor.length = std::clamp(editor.length, 0, maxbodylength);
    editor.cursor = std::clamp(editor.cursor, 0, editor.length);
    if (editor.anchor != -1)
        editor.anchor = std::clamp(editor.anchor, 0, editor.length);
}

void removebytes(char *body, int from, int to)
{
    std::memmove(body + from, body + to, size_t(editor.length - to));
    editor.length -= to - from;
}

// Opens a gap of n bytes at the cursor; the caller fills it.
void opengap(char *body, int n)
{
    std::memmove(body + editor.cursor + n, body + editor.cursor, size_t(editor.length - editor.cursor));
    editor.length += n;
}

// What a key's action sees: the body, the event and the anchor from before
// the Shift rule touched it.
struct keypress {
    char *body;
    uint32_t event;
    int oldanchor;

    bool shift() const { return keyshift(event); }
    bool ctrl() const { return keyctrl(event); }
    bool selection() const { return oldanchor != -1 && oldanchor != editor.cursor; }
    int lo() const { return std::min(oldanchor, editor.cursor); }
    int hi() const { return std::max(oldanchor, editor.cursor); }
};

int deleteselection(const keypress &k)
{
    int lo = k.lo(), hi = k.hi();
    removebytes(k.body, lo, hi);
    editor.cursor = lo;
    editor.anchor = -1;
    return changed;
}

int backspace(const keypress &k)
{
    if (k.selection())
        return deleteselection(k);
    if (editor.cursor == 0)
        return moved;
    removebytes(k.body, editor.cursor - 1, editor.cursor);
    editor.cursor--;
    return changed;
}

int deletekey(const keypress &k)
{
    if (k.selection())
        return deleteselection(k);
    if (editor.cursor == editor.length)
        return moved;
    removebytes(k.body, editor.cursor, editor.cursor + 1);
    return changed;
}

int home(const keypress &k)
{
    editor.cursor = k.ctrl() ? 0 : linestart(k.body, editor.cursor);
    return moved;
}

int end(const keypress &k)
{
    editor.cursor = k.ctrl() ? editor.length : lineend(k.body, editor.length, editor.cursor);
    return moved;
}

// Same column on the previous line, or that line's end when it is shorter.
int up(const keypress &k)
{
    int start = linestart(k.body, editor.cursor);
    if (start == 0)
        return moved;
    int prevend = start - 1;                // the LF ending the previous line
    int prevstart = linestart(k.body, prevend);
    editor.cursor = prevstart + std::min(editor.cursor - start, prevend - prevstart);
    return moved;
}

int down(const keypress &k)
{
    int column = editor.cursor - linestart(k.body, editor.cursor);
    int lf = lineend(k.body, editor.length, editor.cursor);
    if (lf == editor.length)
        return moved;
    int next = lf + 1;
    editor.cursor = next + std::min(column, lineend(k.body, editor.length, next) - next);
    return moved;
}

// Ctrl: back over separators (LF among them), then over the word before
// them; right after an LF only the LF is crossed.
int left(const keypress &k)
{
    const char *b = k.body;
    int &c = editor.cursor;
    if (c == 0)
        return moved;
    if (!k.ctrl() || b[c - 1] == '\n') {
        c--;
        return moved;
    }
    while (c > 0 && !isword(b[c - 1]))
        c--;
    while (c > 0 && isword(b[c - 1]))
        c--;
    return moved;
}

// Ctrl: over the rest of a word, then over separators (LF among them) up to
// the next word; on an LF only the LF is crossed.
int right(const keypress &k)
{
    const char *b = k.body;
    int &c = editor.cursor;
    if (c == editor.length)
        return moved;
    if (!k.ctrl() || b[c] == '\n') {
        c++;
        return moved;
    }
    while (c < editor.length && isword(b[c]))
        c++;
    while (c < editor.length && !isword(b[c]))
        c++;
    return moved;
}

// The clipboard's text at the cursor without its CRs, selected afterwards.
// Text that would not fit is dropped whole, yet counts as a change.
int paste(const keypress &k)
{
    char *text = host.getclipboard ? host.getclipboard() : nullptr;
    if (!text)
        return moved;
    editor.anchor = editor.cursor;
    size_t n = 0;
    for (const char *p = text; *p; p++)
        n += *p != '\r';
    if (n <= size_t(maxbodylength - editor.length)) {
        opengap(k.body, int(n));
        for (const char *p = text; *p; p++)
            if (*p != '\r')
                k.body[editor.cursor++] = *p;
    }
    std::free(text);
    return changed;
}

// The selected bytes go out as a text of their own: a 0 stands in for the
// byte after them while the clipboard copies.
void copyselection(const keypress &k)
{
    char *stop = k.body + k.hi();
    char kept = *stop;
    *stop = 0;
    copytoclip(k.body + k.lo());
    *stop = kept;
}

// Shift: paste. Ctrl: copy, keeping the selection the Shift rule dropped.
int insertkey(const keypress &k)
{
    if (k.shift())
        return paste(k);
    if (k.ctrl()) {
        if (k.selection())
            copyselection(k);
        editor.anchor = k.oldanchor;
    }
    return moved;
}

// Typing drops the selection but leaves its text. Main Enter breaks the
// line whatever character it carries; other control characters (Tab,
// keypad Enter) are not the editor's.
int typed(const keypress &k)
{
    int ch = keychar(k.event);
    bool enter = keyscan(k.event) == scanenter;
    if (ch < 32 && !enter)
        return notused;
    editor.anchor = -1;
    if (editor.length == maxbodylength)
        return moved;
    opengap(k.body, 1);
    k.body[editor.cursor++] = enter ? '\n' : char(ch);
    return changed;
}

struct keyentry {
    int scan;
    int (*action)(const keypress &);
};

// Keys with an action of their own; every other key types its character.
const keyentry keytable[] = {
    {scanbackspace, backspace}, {scanhome, home}, {scanup, up},
    {scanleft, left},           {scanright, right}, {scanend, end},
    {scandown, down},           {scaninsert, insertkey}, {scandelete, deletekey},
};

} // namespace

char *editbody()
{
    return texscripts.script.text + exprheaderlength;
}

void resetedit(int bodylength)
{
    char *body = editbody();
    editor.length = std::clamp(bodylength, 0, int(strnlen(body, size_t(maxbodylength))));
    body[editor.length] = 0;
    editor.cursor = 0;
    editor.anchor = -1;
}

int editkey(uint32_t event)
{
    keepinrange();
    keypress k = {editbody(), event, editor.anchor};
    // Shift starts a selection at the cursor; any key without Shift ends it.
    if (k.shift() && editor.anchor == -1)
        editor.anchor = editor.cursor;
    else if (!k.shift() && editor.anchor != -1)
        editor.anchor = -1;

    int (*action)(const keypress &) = typed;
    for (const keyentry &e : keytable)
        if (e.scan == keyscan(event)) {
            action = e.action;
            break;
        }
    int result = action(k);

    // Shift+Backspace at the end leaves the anchor past the shortened body.
    keepinrange();
    k.body[editor.length] = 0;
    return result;
}

void copytoclip(const char *text)
{
    size_t n = std::strlen(text), cr = size_t(std::count(text, text + n, '\r'));
    char *out = static_cast<char *>(std::malloc(n + cr + 1));
    if (!out)
        return;
    char *o = out;
    for (const char *p = text; *p; p++) {
        *o++ = *p;
        if (*p == '\r')
            *o++ = '\n';
    }
    *o = 0;
    if (host.setclipboard)
        host.setclipboard(out);
    std::free(out);
}

// Line k covers rows top + 8k .. top + 8k + 7. The walk stops at the line
// under the mouse, below the last line (cursor to the end) or at the first
// line reaching past `bottom` (cursor stays).
void clicktocursor(int left, int top, int bottom, int mx, int my, int extend)
{
    keepinrange();
    if (my >= top && mx < left)
        return;
    if (!extend)
        editor.anchor = -1;
    else if (editor.anchor == -1)
        editor.anchor = editor.cursor;
    if (my < top) {
        editor.cursor = 0;
        return;
    }
    const char *body = editbody();
    int64_t column = (int64_t(mx) - left + 2) / fontwidth;
    int64_t linetop = top;
    for (int e = 0;; e = lineend(body, editor.length, e) + 1, linetop += lineheight) {
        int i = lineend(body, editor.length, e);
        if (my >= linetop && my < linetop + lineheight) {
            editor.cursor = e + int(std::min<int64_t>(column, i - e));
            return;
        }
        if (i == editor.length && my >= linetop + lineheight) {
            editor.cursor = editor.length;
            return;
        }
        if (linetop + lineheight > bottom)
            return;
    }
}

namespace {

// Bytes s..t-1 of the line e..i in black on grey; a selected LF (t = i + 1)
// shows as a space.
void drawselection(const char *body, int x, int y, int e, int i, int lineendbyte)
{
    int lo = std::min(editor.cursor, editor.anchor), hi = std::max(editor.cursor, editor.anchor);
    int s = std::max(lo, e), t = std::min(hi, lineendbyte);
    if (s >= t)
        return;
    int shown = std::min(t, i) - s;
    printtext(x + fontwidth * (s - e), y, selectedcolour, textcolour, "%.*s%s", shown, body + s, t > i ? " " : "");
}

} // namespace

void drawedittext(int left, int top, int extralines, double now)
{
    const char *body = editbody();
    int length = std::clamp(editor.length, 0, maxbodylength);
    bool showcursor = editor.blinkdeadline - now > 0.5;
    int y = top;
    for (int line = 1, e = 0;; line++) {
        int i = lineend(body, length, e);
        bool haslf = i < length;
        printtext(left, y, textcolour, transparent, "%.*s", i - e, body + e);
        if (editor.anchor != -1)
            drawselection(body, left, y, e, i, haslf ? i + 1 : i);
        if (showcursor && e <= editor.cursor && editor.cursor <= i)
            fillrect(left + fontwidth * (editor.cursor - e), y - 1, 1, lineheight + 1, cursorcolour);
        if (!haslf)
            return;
        y += lineheight;
        if (line >= 1 + extralines) {
            printtext(left, y, textcolour, transparent, "...");
            return;
        }
        e = i + 1;
    }
}

// The expression editor: keys, mouse placement, drawing and the clipboard.
//
// Positions are offsets into the body (0 = before its first byte). The body
// always ends with a 0 at `length`, so no walk ever needs to look past it;
// every length is held to maxbodylength, so the last byte that can be
// written is the buffer's last.
#include "editor.h"
#include "cp437.h"
#include "draw.h"
#include "font.h"
#include "keys.h"
#include "platform.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t textcolour = 0xC0C0C0;
constexpr uint32_t selectedcolour = 0x000000;
constexpr uint32_t cursorcolour = 0xFFFFFFFF;
constexpr int lineheight = fontheight;

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
void keepinrange(editorstate &e)
{
    e.length = std::clamp(e.length, 0, maxbodylength);
    e.cursor = std::clamp(e.cursor, 0, e.length);
    if (e.anchor != -1)
        e.anchor = std::clamp(e.anchor, 0, e.length);
    e.topline = std::max(e.topline, 0);
    e.leftcolumn = std::max(e.leftcolumn, 0);
}

// Start of line `line` (0 first), or of the last line when there are fewer.
int startofline(const char *body, int length, int line)
{
    int at = 0;
    for (int k = 0; k < line; k++) {
        int i = lineend(body, length, at);
        if (i == length)
            break;
        at = i + 1;
    }
    return at;
}

void removebytes(editorstate &e, int from, int to)
{
    std::memmove(e.body + from, e.body + to, size_t(e.length - to));
    e.length -= to - from;
}

// Opens a gap of n bytes at the cursor; the caller fills it.
void opengap(editorstate &e, int n)
{
    std::memmove(e.body + e.cursor + n, e.body + e.cursor, size_t(e.length - e.cursor));
    e.length += n;
}

// What a key's action sees: the editor, the event and the anchor from
// before the Shift rule touched it.
struct keypress {
    editorstate &e;
    uint32_t event;
    int oldanchor;

    bool shift() const { return keyshift(event); }
    bool ctrl() const { return keyctrl(event); }
    bool selection() const { return oldanchor != -1 && oldanchor != e.cursor; }
    int lo() const { return std::min(oldanchor, e.cursor); }
    int hi() const { return std::max(oldanchor, e.cursor); }
};

int deleteselection(const keypress &k)
{
    int lo = k.lo(), hi = k.hi();
    removebytes(k.e, lo, hi);
    k.e.cursor = lo;
    k.e.anchor = -1;
    return editchanged;
}

int backspace(const keypress &k)
{
    if (k.selection())
        return deleteselection(k);
    if (k.e.cursor == 0)
        return editmoved;
    removebytes(k.e, k.e.cursor - 1, k.e.cursor);
    k.e.cursor--;
    return editchanged;
}

int deletekey(const keypress &k)
{
    if (k.selection())
        return deleteselection(k);
    if (k.e.cursor == k.e.length)
        return editmoved;
    removebytes(k.e, k.e.cursor, k.e.cursor + 1);
    return editchanged;
}

int home(const keypress &k)
{
    k.e.cursor = k.ctrl() ? 0 : linestart(k.e.body, k.e.cursor);
    return editmoved;
}

int end(const keypress &k)
{
    k.e.cursor = k.ctrl() ? k.e.length : lineend(k.e.body, k.e.length, k.e.cursor);
    return editmoved;
}

// Same column on the previous line, or that line's end when it is shorter.
int up(const keypress &k)
{
    int start = linestart(k.e.body, k.e.cursor);
    if (start == 0)
        return editmoved;
    int prevend = start - 1;                // the LF ending the previous line
    int prevstart = linestart(k.e.body, prevend);
    k.e.cursor = prevstart + std::min(k.e.cursor - start, prevend - prevstart);
    return editmoved;
}

int down(const keypress &k)
{
    int column = k.e.cursor - linestart(k.e.body, k.e.cursor);
    int lf = lineend(k.e.body, k.e.length, k.e.cursor);
    if (lf == k.e.length)
        return editmoved;
    int next = lf + 1;
    k.e.cursor = next + std::min(column, lineend(k.e.body, k.e.length, next) - next);
    return editmoved;
}

// Ctrl: back over separators (LF among them), then over the word before
// them; right after an LF only the LF is crossed.
int left(const keypress &k)
{
    const char *b = k.e.body;
    int &c = k.e.cursor;
    if (c == 0)
        return editmoved;
    if (!k.ctrl() || b[c - 1] == '\n') {
        c--;
        return editmoved;
    }
    while (c > 0 && !isword(b[c - 1]))
        c--;
    while (c > 0 && isword(b[c - 1]))
        c--;
    return editmoved;
}

// Ctrl: over the rest of a word, then over separators (LF among them) up to
// the next word; on an LF only the LF is crossed.
int right(const keypress &k)
{
    const char *b = k.e.body;
    int &c = k.e.cursor;
    if (c == k.e.length)
        return editmoved;
    if (!k.ctrl() || b[c] == '\n') {
        c++;
        return editmoved;
    }
    while (c < k.e.length && isword(b[c]))
        c++;
    while (c < k.e.length && !isword(b[c]))
        c++;
    return editmoved;
}

// The clipboard's text at the cursor, as typed (pastabletext), selected
// afterwards. Text that would not fit is dropped whole, yet counts as a
// change.
int paste(const keypress &k)
{
    char *utf8 = host.getclipboard ? host.getclipboard() : nullptr;
    if (!utf8)
        return editmoved;
    std::string text = pastabletext(utf8, k.e.leftout);
    std::free(utf8);
    k.e.anchor = k.e.cursor;
    int n = int(text.size());
    if (n <= maxbodylength - k.e.length) {
        opengap(k.e, n);
        std::memcpy(k.e.body + k.e.cursor, text.data(), size_t(n));
        k.e.cursor += n;
    }
    return editchanged;
}

// The selected bytes go out as a text of their own: a 0 stands in for the
// byte after them while the clipboard copies.
void copyselection(const keypress &k)
{
    char *stop = k.e.body + k.hi();
    char kept = *stop;
    *stop = 0;
    copytoclip(k.e.body + k.lo());
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
        k.e.anchor = k.oldanchor;
    }
    return editmoved;
}

// The keyboard's rule for a typed character: main Enter breaks the line
// whatever character it carries; other control characters (Tab, keypad
// Enter) are not the editor's.
bool typeable(int ch)
{
    return ch >= 32;
}

// Typing drops the selection but leaves its text.
int typed(const keypress &k)
{
    int ch = keychar(k.event);
    bool enter = keyscan(k.event) == scanenter;
    if (!typeable(ch) && !enter)
        return editunused;
    k.e.anchor = -1;
    if (k.e.length == maxbodylength)
        return editmoved;
    opengap(k.e, 1);
    k.e.body[k.e.cursor++] = enter ? '\n' : char(ch);
    return editchanged;
}

// Ctrl+C: copy, keeping the selection (Ctrl+Insert).
int copykey(const keypress &k)
{
    if (!k.ctrl())
        return typed(k);
    if (k.selection())
        copyselection(k);
    k.e.anchor = k.oldanchor;
    return editmoved;
}

// Ctrl+X: copy the selection and delete it.
int cutkey(const keypress &k)
{
    if (!k.ctrl())
        return typed(k);
    if (!k.selection())
        return editmoved;
    copyselection(k);
    return deleteselection(k);
}

// Ctrl+V: paste (Shift+Insert).
int pastekey(const keypress &k)
{
    return k.ctrl() ? paste(k) : typed(k);
}

// Ctrl+A: the whole body selected, the cursor at its end.
int selectall(const keypress &k)
{
    if (!k.ctrl())
        return typed(k);
    k.e.anchor = 0;
    k.e.cursor = k.e.length;
    return editmoved;
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
    {scanc, copykey},           {scanx, cutkey},    {scanv, pastekey},
    {scana, selectall},
};

} // namespace

void resetedit(editorstate &e, char *body, int bodylength)
{
    e.body = body;
    e.length = std::clamp(bodylength, 0, int(strnlen(body, size_t(maxbodylength))));
    body[e.length] = 0;
    e.cursor = 0;
    e.anchor = -1;
    e.topline = e.leftcolumn = 0;
    e.mark = -1;
}

int editkey(editorstate &e, uint32_t event)
{
    keepinrange(e);
    keypress k = {e, event, e.anchor};
    // Shift starts a selection at the cursor; any key without Shift ends it.
    if (k.shift() && e.anchor == -1)
        e.anchor = e.cursor;
    else if (!k.shift() && e.anchor != -1)
        e.anchor = -1;

    int (*action)(const keypress &) = typed;
    for (const keyentry &entry : keytable)
        if (entry.scan == keyscan(event)) {
            action = entry.action;
            break;
        }
    int result = action(k);

    // Shift+Backspace at the end leaves the anchor past the shortened body.
    keepinrange(e);
    e.body[e.length] = 0;
    return result;
}

void copytoclip(const char *text)
{
    std::string utf8;
    for (const char *p = text; *p; p++) {
        appendutf8(utf8, codepointofcp437(static_cast<unsigned char>(*p)));
        if (*p == '\r')
            utf8 += '\n';
    }
    if (host.setclipboard)
        host.setclipboard(utf8.c_str());
}

std::string pastabletext(const char *utf8, int &leftout)
{
    std::string text;
    leftout = 0;
    for (const char *p = utf8; *p;) {
        int c = cp437ofcodepoint(nextcodepoint(p));
        if (c == '\n' || typeable(c))
            text += char(c);
        else if (c != '\r')
            leftout++;
    }
    return text;
}

void lineandcolumn(const char *body, int at, int &line, int &column)
{
    line = int(std::count(body, body + at, '\n'));
    column = at - linestart(body, at);
}

void followcursor(editorstate &e, int lines, int columns)
{
    keepinrange(e);
    int line = 0, column = 0;
    lineandcolumn(e.body, e.cursor, line, column);
    int total = int(std::count(e.body, e.body + e.length, '\n')) + 1;
    e.topline = std::min(e.topline, std::max(0, total - lines));
    e.topline = std::clamp(e.topline, std::max(0, line - (lines - 1)), line);
    int widest = 0;
    for (int at = 0, k = 0; k < e.topline + lines; at = lineend(e.body, e.length, at) + 1, k++) {
        if (k >= e.topline)
            widest = std::max(widest, lineend(e.body, e.length, at) - at);
        if (lineend(e.body, e.length, at) == e.length)
            break;
    }
    e.leftcolumn = std::min(e.leftcolumn, std::max(0, widest - columns));
    e.leftcolumn = std::clamp(e.leftcolumn, std::max(0, column - columns), column);
}

// Shown line k covers rows top + 8k .. top + 8k + 7. The walk stops at the
// line under the mouse, below the last line (cursor to the end) or at the
// first line reaching past `bottom` (cursor stays).
void clicktocursor(editorstate &ed, int left, int top, int bottom, int mx, int my, int extend)
{
    keepinrange(ed);
    if (my >= top && mx < left)
        return;
    if (!extend)
        ed.anchor = -1;
    else if (ed.anchor == -1)
        ed.anchor = ed.cursor;
    if (my < top) {
        ed.cursor = 0;
        return;
    }
    const char *body = ed.body;
    int64_t column = (int64_t(mx) - left + 2) / fontwidth + ed.leftcolumn;
    int64_t linetop = top;
    for (int e = startofline(body, ed.length, ed.topline);; e = lineend(body, ed.length, e) + 1, linetop += lineheight) {
        int i = lineend(body, ed.length, e);
        if (my >= linetop && my < linetop + lineheight) {
            ed.cursor = e + int(std::min<int64_t>(column, i - e));
            return;
        }
        if (i == ed.length && my >= linetop + lineheight) {
            ed.cursor = ed.length;
            return;
        }
        if (linetop + lineheight > bottom)
            return;
    }
}

namespace {

constexpr uint32_t markback = 0x601010;     // the compile error line's colours
constexpr uint32_t markfront = 0xFF4040;
constexpr char abovearrow = 0x18, leftarrow = 0x11;

// Bytes s..t-1 of the line e..i in black on grey; a selected LF (t = i + 1)
// shows as a space. Bytes left of the view are not drawn.
void drawselection(const editorstate &ed, int x, int y, int e, int i, int lineendbyte)
{
    int lo = std::min(ed.cursor, ed.anchor), hi = std::max(ed.cursor, ed.anchor);
    int first = e + ed.leftcolumn;
    int s = std::max({lo, e, first}), t = std::min(hi, lineendbyte);
    if (s >= t)
        return;
    int shown = std::min(t, i) - s;
    printtext(x + fontwidth * (s - first), y, selectedcolour, textcolour, "%.*s%s", shown, ed.body + s,
              t > i ? " " : "");
}

// The error's place: its cell (past the line's end, an empty cell) in the
// error line's colours, the byte drawn over it in red.
void drawmark(const editorstate &ed, int x, int y, int e, int i)
{
    int first = e + ed.leftcolumn;
    if (ed.mark < first || ed.mark > i)
        return;
    int cx = x + fontwidth * (ed.mark - first);
    fillrect(cx, y, fontwidth, lineheight, markback);
    if (ed.mark < i)
        printtext(cx, y, markfront, transparent, "%c", ed.body[ed.mark]);
}

} // namespace

void drawedittext(const editorstate &ed, int left, int top, int extralines, double now)
{
    const char *body = ed.body;
    int length = std::clamp(ed.length, 0, maxbodylength);
    bool showcursor = ed.blinkdeadline - now > 0.5;
    int y = top;
    for (int line = 1, e = startofline(body, length, ed.topline);; line++) {
        int i = lineend(body, length, e);
        bool haslf = i < length;
        int first = std::min(e + ed.leftcolumn, i);
        if (ed.mark != -1)
            drawmark(ed, left, y, e, i);
        printtext(left, y, textcolour, transparent, "%.*s", i - first, body + first);
        if (ed.anchor != -1)
            drawselection(ed, left, y, e, i, haslf ? i + 1 : i);
        if (line == 1 && ed.topline > 0)
            printtext(left - fontwidth, y, textcolour, transparent, "%c", abovearrow);
        else if (ed.leftcolumn > 0 && i > e)
            printtext(left - fontwidth, y, textcolour, transparent, "%c", leftarrow);
        if (showcursor && e + ed.leftcolumn <= ed.cursor && ed.cursor <= i)
            fillrect(left + fontwidth * (ed.cursor - e - ed.leftcolumn), y - 1, 1, lineheight + 1, cursorcolour);
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

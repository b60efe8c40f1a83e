#include "textfield.h"
#include "cp437.h"
#include "dialog.h"
#include "draw.h"
#include "keys.h"

#include <algorithm>
#include <vector>

// Byte offsets where the characters start, and the end.
static std::vector<int> charstarts(const std::string &text)
{
    std::vector<int> starts;
    const char *begin = text.c_str();
    for (const char *p = begin; *p;) {
        starts.push_back(int(p - begin));
        nextcodepoint(p);
    }
    starts.push_back(int(text.size()));
    return starts;
}

// The character index of the cursor.
static int cursorindex(const textfield &f, const std::vector<int> &starts)
{
    auto at = std::lower_bound(starts.begin(), starts.end(), f.cursor);
    return int(at - starts.begin());
}

void setfield(textfield &f, const std::string &text, bool select)
{
    f.text = text;
    f.cursor = int(text.size());
    f.all = select && !text.empty();
    f.scroll = 0;
}

static int insertchar(textfield &f, int character)
{
    std::string bytes;
    appendutf8(bytes, codepointofcp437(static_cast<unsigned char>(character)));
    size_t kept = f.all ? 0 : f.text.size();
    if (kept + bytes.size() > size_t(f.limit))
        return fieldfull;
    if (f.all)
        setfield(f, "", false);
    f.text.insert(size_t(f.cursor), bytes);
    f.cursor += int(bytes.size());
    return fieldchanged;
}

// Removes the character before (back) or at the cursor.
static int removechar(textfield &f, bool back)
{
    if (f.all) {
        setfield(f, "", false);
        return fieldchanged;
    }
    std::vector<int> starts = charstarts(f.text);
    int i = cursorindex(f, starts);
    int from = back ? i - 1 : i;
    if (from < 0 || from + 1 >= int(starts.size()))
        return fieldused;
    f.text.erase(size_t(starts[size_t(from)]), size_t(starts[size_t(from) + 1] - starts[size_t(from)]));
    f.cursor = starts[size_t(from)];
    return fieldchanged;
}

static int movecursor(textfield &f, int scan)
{
    std::vector<int> starts = charstarts(f.text);
    int i = cursorindex(f, starts), last = int(starts.size()) - 1;
    bool wasall = f.all;
    f.all = false;
    switch (scan) {
    case scanleft:
        i = wasall ? 0 : std::max(i - 1, 0);
        break;
    case scanright:
        i = wasall ? last : std::min(i + 1, last);
        break;
    case scanhome:
        i = 0;
        break;
    default:
        i = last;
        break;
    }
    f.cursor = starts[size_t(i)];
    return fieldused;
}

int fieldkey(textfield &f, uint32_t event)
{
    int scan = keyscan(event), c = keychar(event);
    switch (scan) {
    case scanleft:
    case scanright:
    case scanhome:
    case scanend:
        return movecursor(f, scan);
    case scanbackspace:
        return removechar(f, true);
    case scandelete:
        return removechar(f, false);
    default:
        break;
    }
    if (keyctrl(event) && scan == scana) {
        f.all = !f.text.empty();
        return fieldused;
    }
    if (c < 32 || (event & (modctrl | modalt)))
        return fieldunused;
    return insertchar(f, c);
}

void fieldclick(textfield &f, int dx)
{
    std::vector<int> starts = charstarts(f.text);
    int i = std::clamp(f.scroll + (dx + 3) / 6, 0, int(starts.size()) - 1);
    f.cursor = starts[size_t(i)];
    f.all = false;
}

void drawfield(textfield &f, int x, int y, int columns, bool focused, bool cursoron)
{
    std::vector<int> starts = charstarts(f.text);
    int count = int(starts.size()) - 1, i = cursorindex(f, starts);
    // Keep the cursor in view, and no more blank space at the end than its cell.
    f.scroll = std::clamp(f.scroll, std::max(i - columns + 1, 0), i);
    f.scroll = std::min(f.scroll, std::max(count - columns + 1, 0));
    std::string shown = screentext(f.text);
    shown = shown.substr(size_t(std::min(f.scroll, int(shown.size()))), size_t(columns));
    bool selected = focused && f.all;
    if (selected)
        fillrect(x, y - 1, 6 * int(shown.size()), 10, dialogtext);
    drawtext(x, y, selected ? 0 : dialogtext, transparent, shown.c_str(), int(shown.size()));
    if (focused && cursoron && !f.all)
        fillrect(x + 6 * (i - f.scroll), y - 1, 1, 10, 0xFFFFFF);
}

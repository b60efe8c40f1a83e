#include "history.h"
#include "screenstate.h"
#include "texscript.h"

#include <algorithm>
#include <cstring>

historystate history;

static texvalues currentvalues()
{
    const texturescript &s = texscripts.script;
    texvalues v;
    std::memcpy(v.weights, s.weights, sizeof v.weights);
    v.shape = s.shape;
    v.lightangle = s.lightangle;
    v.scale = s.scale;
    v.solidweight = s.solidweight;
    return v;
}

static bool samevalues(const texvalues &a, const texvalues &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

static std::string currentbody()
{
    return std::string(screen.editor.body, size_t(screen.editor.length));
}

void resethistory()
{
    history.steps.clear();
    history.done = 0;
    history.bytes = 0;
    history.sealed = false;
    history.body = currentbody();
    history.values = currentvalues();
}

static size_t sizeofstep(const undostep &s)
{
    return sizeof s + s.removed.size() + s.inserted.size();
}

// The oldest steps go while there are too many or they hold too much.
static void keepwithinlimits()
{
    while (!history.steps.empty() &&
           (int(history.steps.size()) > maxundosteps || history.bytes > maxundobytes)) {
        history.bytes -= sizeofstep(history.steps.front());
        history.steps.pop_front();
        history.done = std::max(history.done - 1, 0);
    }
}

// A run of typing, of Backspaces or of Deletes goes on at the place where
// the last step's left off; a line break joins only line breaks.
static bool joins(const undostep &last, const undostep &s)
{
    if (last.kind != s.kind || last.values || !s.text)
        return false;
    switch (s.kind) {
    case steptyping:
        return s.removed.empty() && s.inserted.size() == 1 && s.at == last.at + int(last.inserted.size()) &&
               (s.inserted[0] != '\n' || last.inserted.find_first_not_of('\n') == std::string::npos);
    case stepbackspace:
        return s.inserted.empty() && s.removed.size() == 1 && s.at + 1 == last.at;
    case stepdelete:
        return s.inserted.empty() && s.removed.size() == 1 && s.at == last.at;
    default:
        return false;
    }
}

static void join(undostep &last, const undostep &s)
{
    history.bytes += s.removed.size() + s.inserted.size();
    if (s.kind == steptyping) {
        last.inserted += s.inserted;
    } else if (s.kind == stepbackspace) {
        last.removed = s.removed + last.removed;
        last.at = s.at;
    } else {
        last.removed += s.removed;
    }
}

// The body's change since the last record: one place, what was there and
// what is there now.
static void difftext(undostep &s, const std::string &now)
{
    const std::string &old = history.body;
    size_t start = 0, n = std::min(old.size(), now.size());
    while (start < n && old[start] == now[start])
        start++;
    size_t tail = 0;
    while (tail < n - start && old[old.size() - 1 - tail] == now[now.size() - 1 - tail])
        tail++;
    s.at = int(start);
    s.removed = old.substr(start, old.size() - start - tail);
    s.inserted = now.substr(start, now.size() - start - tail);
}

void commit(int kind, int what)
{
    undostep s = {};
    s.kind = kind;
    std::string body;
    if (what & committext) {
        body = currentbody();
        s.text = body != history.body;
    }
    if (what & commitvalues) {
        s.before = history.values;
        s.after = currentvalues();
        s.values = !samevalues(s.before, s.after);
    }
    if (!s.text && !s.values)
        return;
    if (s.text)
        difftext(s, body);
    if (!s.text)
        s.kind = stepvalues;
    while (int(history.steps.size()) > history.done) {     // what was undone is gone
        history.bytes -= sizeofstep(history.steps.back());
        history.steps.pop_back();
    }
    if (s.text)
        history.body = body;
    if (s.values)
        history.values = s.after;
    if (!history.steps.empty() && !history.sealed && joins(history.steps.back(), s)) {
        join(history.steps.back(), s);
        return;
    }
    history.sealed = false;
    history.bytes += sizeofstep(s);
    history.steps.push_back(std::move(s));
    history.done = int(history.steps.size());
    keepwithinlimits();
}

// Puts `to` at the step's place in place of `from`; the cursor after it.
static void replacetext(const undostep &s, const std::string &from, const std::string &to)
{
    editorstate &e = screen.editor;
    int tail = e.length - s.at - int(from.size());
    std::memmove(e.body + s.at + to.size(), e.body + s.at + from.size(), size_t(tail));
    std::memcpy(e.body + s.at, to.data(), to.size());
    e.length += int(to.size()) - int(from.size());
    e.body[e.length] = 0;
    e.cursor = s.at + int(to.size());
    e.anchor = -1;
    history.body = currentbody();
}

static void setvalues(const texvalues &v)
{
    texturescript &s = texscripts.script;
    std::memcpy(s.weights, v.weights, sizeof v.weights);
    s.shape = v.shape;
    s.lightangle = v.lightangle;
    s.scale = v.scale;
    s.solidweight = v.solidweight;
    derivechannels(s);
    history.values = v;
}

static int apply(const undostep &s, bool forward)
{
    int changed = 0;
    if (s.text) {
        replacetext(s, forward ? s.removed : s.inserted, forward ? s.inserted : s.removed);
        changed |= changedtext;
    }
    if (s.values) {
        const texvalues &from = forward ? s.before : s.after, &to = forward ? s.after : s.before;
        setvalues(to);
        changed |= changedvalues;
        if (from.shape != to.shape || from.solidweight != to.solidweight)
            changed |= changedshape;
        if (from.lightangle != to.lightangle)
            changed |= changedlight;
    }
    return changed;
}

int undo()
{
    if (history.done == 0)
        return 0;
    history.sealed = true;
    history.done--;
    return apply(history.steps[size_t(history.done)], false);
}

int redo()
{
    if (history.done == int(history.steps.size()))
        return 0;
    history.sealed = true;
    history.done++;
    return apply(history.steps[size_t(history.done - 1)], true);
}

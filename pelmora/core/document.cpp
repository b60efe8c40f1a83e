#include "document.h"
#include "dirlist.h"

#include <cstring>
#include <sys/stat.h>

documentstate document;

// The file as it stands, or false when it cannot be seen.
static bool stampof(const std::string &path, filestamp &s)
{
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0)
        return false;
    s = {int64_t(st.st_mtim.tv_sec), int64_t(st.st_mtim.tv_nsec), int64_t(st.st_size), int64_t(st.st_ino)};
    return true;
}

void resetdocument()
{
    document.path.clear();
    document.saved = texscripts.script;
    document.stamp = document.seen = {};
    document.nextpoll = 0.0;
    document.changed = 0;
}

void notesaved(const char *path)
{
    document.path = path;
    document.saved = texscripts.script;
    document.stamp = {};
    stampof(document.path, document.stamp);
    document.seen = document.stamp;
    document.changed = 0;
}

bool unsaved()
{
    const texturescript &a = texscripts.script, &b = document.saved;
    return std::strncmp(a.text, b.text, exprtextsize) != 0 || std::memcmp(a.weights, b.weights, sizeof a.weights) != 0 ||
           a.shape != b.shape || a.lightangle != b.lightangle || a.scale != b.scale;
}

std::string documentname()
{
    return document.path.empty() ? "Untitled" : lastpart(document.path.c_str());
}

void pollscript(double now)
{
    if (now < document.nextpoll || document.path.empty())
        return;
    document.nextpoll = now + scriptpollinterval;
    filestamp s;
    if (!stampof(document.path, s) || s == document.stamp) {
        document.seen = document.stamp;
        return;
    }
    if (s == document.seen)
        document.changed = 1;
    document.seen = s;
}

#include "dirlist.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

bool matchespattern(const char *name, const char *pattern)
{
    if (std::strcmp(pattern, "*.*") == 0)
        return true;
    const char *ext = pattern + 1;      // ".tx" of "*.tx"
    size_t n = std::strlen(name), e = std::strlen(ext);
    return n > e && strcasecmp(name + n - e, ext) == 0;
}

static bool isfolder(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Name order ignoring case; names equal but for case in byte order.
static bool before(const direntry &a, const direntry &b)
{
    if (a.folder != b.folder)
        return a.folder;
    int c = strcasecmp(a.name.c_str(), b.name.c_str());
    return c ? c < 0 : a.name < b.name;
}

bool readlisting(const std::string &path, const char *pattern, dirlisting &out)
{
    DIR *d = opendir(path.c_str());
    if (!d)
        return false;
    std::string folder = path.back() == '/' ? path : path + "/";
    std::vector<direntry> entries;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        bool sub = isfolder(folder + e->d_name);
        if (sub || matchespattern(e->d_name, pattern))
            entries.push_back({e->d_name, sub});
    }
    closedir(d);
    std::sort(entries.begin(), entries.end(), before);
    if (folder != "/")
        entries.insert(entries.begin(), {"..", true});
    out.path = folder;
    out.entries = std::move(entries);
    return true;
}

std::string parentfolder(const std::string &path)
{
    if (path.size() <= 1)
        return "/";
    size_t slash = path.find_last_of('/', path.size() - 2);
    return slash == std::string::npos ? "/" : path.substr(0, slash + 1);
}

const char *lastpart(const char *path)
{
    const char *slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

static bool hasextension(const char *name)
{
    const char *part = lastpart(name);
    return part[0] && std::strchr(part + 1, '.') != nullptr;
}

resolution resolvename(const std::string &folder, const char *typed, const char *defext, char *out, int size)
{
    if (!typed[0])
        return resolveempty;
    std::string path = typed[0] == '/' ? typed : folder + typed;
    if (!hasextension(typed) && path.back() != '/')
        path += defext;
    if (path.size() + 1 > size_t(size))
        return resolvetoolong;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return resolvedpath;
}

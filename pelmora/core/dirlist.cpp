#include "dirlist.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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

// A link is described by what it points to; a broken link as a file. The
// entry is looked up in the open folder, so an entry whose whole path
// would be too long for the system is still described (and listed: the
// chooser then refuses to open it, saying why).
static direntry describe(int folder, const char *name)
{
    direntry e = {name, false, 0, 0};
    struct stat st;
    if (fstatat(folder, name, &st, 0) == 0) {
        e.folder = S_ISDIR(st.st_mode);
        e.size = uint64_t(st.st_size);
        e.modified = st.st_mtime;
    }
    return e;
}

static bool isdigitchar(char c)
{
    return c >= '0' && c <= '9';
}

static int lower(char c)
{
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : static_cast<unsigned char>(c);
}

// Names as people order them: case ignored and runs of digits by their
// value, so texture_2 comes before texture_10.
static int comparenames(const char *a, const char *b)
{
    while (*a && *b) {
        if (isdigitchar(*a) && isdigitchar(*b)) {
            while (*a == '0')
                a++;
            while (*b == '0')
                b++;
            size_t m = 0, n = 0;
            while (isdigitchar(a[m]))
                m++;
            while (isdigitchar(b[n]))
                n++;
            if (m != n)
                return m < n ? -1 : 1;
            if (int c = std::strncmp(a, b, m))
                return c;
            a += m;
            b += n;
            continue;
        }
        if (lower(*a) != lower(*b))
            return lower(*a) - lower(*b);
        a++;
        b++;
    }
    return lower(*a) - lower(*b);
}

// Folders first, then by name; names equal in that order in byte order.
static bool before(const direntry &a, const direntry &b)
{
    if (a.folder != b.folder)
        return a.folder;
    int c = comparenames(a.name.c_str(), b.name.c_str());
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
        direntry entry = describe(dirfd(d), e->d_name);
        if (entry.folder || matchespattern(e->d_name, pattern))
            entries.push_back(std::move(entry));
    }
    closedir(d);
    std::sort(entries.begin(), entries.end(), before);
    if (folder != "/")
        entries.insert(entries.begin(), {"..", true, 0, 0});
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

std::string realfolder(const std::string &path)
{
    char *real = realpath(path.c_str(), nullptr);
    if (!real)
        return "";
    std::string folder = real;
    std::free(real);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0)
        return "";
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return "";
    }
    if (folder.back() != '/')
        folder += '/';
    return folder;
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

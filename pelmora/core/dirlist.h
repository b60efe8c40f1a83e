// What the built-in file chooser shows: one folder's entries, folders first,
// and the path a typed name stands for.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

struct direntry {
    std::string name;       // as stored on disk (UTF-8 bytes)
    bool folder;
    uint64_t size;          // bytes (files)
    time_t modified;        // 0 when unknown
};

struct dirlisting {
    std::string path;       // absolute, ending in "/"
    std::vector<direntry> entries;
};

// Whether a name matches a filter pattern: "*.*" matches every name, "*.ext"
// the names ending in ".ext" in any case.
bool matchespattern(const char *name, const char *pattern);

// Reads the folder `path` (absolute): ".." first unless it is the root, then
// its folders, then the files matching `pattern`, each group in name order
// ignoring case, runs of digits by their value (texture_2 before texture_10). Hidden entries (names starting with ".") are left out.
// Returns false with errno set when the folder cannot be read.
bool readlisting(const std::string &path, const char *pattern, dirlisting &out);

// The folder above an absolute folder path ending in "/"; the root stays.
std::string parentfolder(const std::string &path);

// An existing folder's absolute path without "." and ".." or links, ending
// in "/"; empty with errno set when `path` is no folder.
std::string realfolder(const std::string &path);

// The last "/"-separated part of a path (the whole when there is none).
const char *lastpart(const char *path);

enum resolution { resolveempty, resolvetoolong, resolvedpath };

// The path a name typed in folder `folder` stands for: a name starting with
// "/" as it is, others inside `folder`; the default extension (".tx") added
// when the last part has no "." after its first character. The result must
// fit `size` bytes with its NUL, or resolvetoolong is returned and `out` is
// left alone.
resolution resolvename(const std::string &folder, const char *typed, const char *defext, char *out, int size);

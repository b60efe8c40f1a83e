#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The process's scratch directory; its destructor removes it at exit, in
// the process that made it only: a forked child that ends with exit() must
// not take the files its parent is about to read.
struct scratchdir {
    std::string path;
    pid_t owner = 0;
    ~scratchdir()
    {
        std::error_code ignored;
        if (!path.empty() && owner == getpid())
            std::filesystem::remove_all(path, ignored);
    }
};
scratchdir scratch;

} // namespace

std::string scratchpath(const std::string &name)
{
    if (scratch.path.empty()) {
        std::string pattern = testing::TempDir() + "voxeltest-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            ADD_FAILURE() << "cannot make a scratch directory " << pattern << ": " << std::strerror(errno);
            return "/nonexistent/" + name;
        }
        scratch.path = pattern;
        scratch.owner = getpid();
    }
    std::string prefix;
    if (const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info()) {
        prefix = std::string(info->name()) + "-";
        for (char &c : prefix)
            if (c == '/')
                c = '_';   // parameterised tests are named "case/3"
    }
    return scratch.path + "/" + prefix + name;
}

bool writebytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        ADD_FAILURE() << "cannot write " << path << ": " << std::strerror(errno);
        return false;
    }
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        ADD_FAILURE() << "cannot write " << path;
    return ok;
}

std::vector<uint8_t> readbytes(const std::string &path)
{
    std::vector<uint8_t> bytes;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(f);
    return bytes;
}

bool fileexists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> listdir(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

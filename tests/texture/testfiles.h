// Small helpers for tests that write and read texture script files.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

// A scratch directory per test executable, made on first use.
inline std::string scratchpath(const std::string &name)
{
    static std::string dir;
    if (dir.empty()) {
        char pattern[] = "/tmp/texturetestXXXXXX";
        dir = mkdtemp(pattern) ? pattern : "/tmp";
    }
    return dir + "/" + name;
}

// File contents assembled by hand, little-endian.
struct filebytes {
    std::vector<uint8_t> v;
    filebytes &tag(const char *t)
    {
        for (int i = 0; i < 4; i++)
            v.push_back(uint8_t(t[i]));
        return *this;
    }
    filebytes &u32(uint32_t x)
    {
        for (int i = 0; i < 4; i++)
            v.push_back(uint8_t(x >> (8 * i)));
        return *this;
    }
    filebytes &f32(float f)
    {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return u32(bits);
    }
    filebytes &text(const std::string &s, bool withnul = true)
    {
        v.insert(v.end(), s.begin(), s.end());
        if (withnul)
            v.push_back(0);
        return *this;
    }
    filebytes &cut(size_t n)
    {
        v.resize(v.size() - n);
        return *this;
    }
};

inline void writefile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline std::vector<uint8_t> readfile(const std::string &path)
{
    std::vector<uint8_t> bytes;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    int c;
    while ((c = std::fgetc(f)) != EOF)
        bytes.push_back(uint8_t(c));
    std::fclose(f);
    return bytes;
}

inline bool fileexists(const std::string &path)
{
    return access(path.c_str(), F_OK) == 0;
}

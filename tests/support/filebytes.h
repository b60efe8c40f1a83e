// File contents assembled by hand for tests: tags, little-endian words and
// floats, text, and a cut at the end.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

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

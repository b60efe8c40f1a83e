// Byte order of the binary files: little-endian for our own formats (texture
// scripts, voxel maps), big-endian where PNG says so. Every multi-byte field
// goes through these; no struct is ever written or read in one piece.
#pragma once
#include <cstdint>
#include <cstring>

inline void putle16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

inline void putle32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = uint8_t(v >> (8 * i));
}

inline void putle64(uint8_t *p, uint64_t v)
{
    for (int i = 0; i < 8; i++)
        p[i] = uint8_t(v >> (8 * i));
}

inline void putbe32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = uint8_t(v >> (24 - 8 * i));
}

inline uint32_t getle32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint64_t getle64(const uint8_t *p)
{
    return uint64_t(getle32(p)) | uint64_t(getle32(p + 4)) << 32;
}

inline uint32_t getbe32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// IEEE 754 values stored little-endian, bit for bit.
inline void putlefloat(uint8_t *p, float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    putle32(p, bits);
}

inline float getlefloat(const uint8_t *p)
{
    uint32_t bits = getle32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

inline void putledouble(uint8_t *p, double d)
{
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    putle64(p, bits);
}

inline double getledouble(const uint8_t *p)
{
    uint64_t bits = getle64(p);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

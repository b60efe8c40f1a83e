// Key events and scan bytes.
//
// A key event is one 32-bit word, made when a key goes down:
//   bits 0-7    the character the key typed (code page 437), 0 when none
//   bits 8-15   the scan byte: PC set-1 scan code, 0x80 added for extended keys
//   bits 16-21  the modifier bits at the time of the press
#pragma once
#include <cstdint>

// Scan bytes the designer names. Letters are keys by their place on a US
// keyboard (Ctrl+Z is the key left of X whatever it types).
enum scanbyte : int {
    scanesc = 0x01,
    scanbackspace = 0x0E,
    scantab = 0x0F,
    scany = 0x15,
    scanenter = 0x1C,        // main Enter
    scanlctrl = 0x1D,
    scana = 0x1E,
    scans = 0x1F,
    scand = 0x20,
    scanlshift = 0x2A,
    scanz = 0x2C,
    scanx = 0x2D,
    scanc = 0x2E,
    scanv = 0x2F,
    scanrshift = 0x36,
    scanlalt = 0x38,
    scanspace = 0x39,
    scanf1 = 0x3B,
    scanf2 = 0x3C,
    scanf3 = 0x3D,
    scanf4 = 0x3E,
    scanf5 = 0x3F,
    scankpenter = 0x9C,      // keypad Enter
    scanrctrl = 0x9D,
    scanralt = 0xB8,
    scanhome = 0xC7,
    scanup = 0xC8,
    scanpageup = 0xC9,
    scanleft = 0xCB,
    scanright = 0xCD,
    scanend = 0xCF,
    scandown = 0xD0,
    scanpagedown = 0xD1,
    scaninsert = 0xD2,
    scandelete = 0xD3,
};

// Modifier bits of a key event.
enum modifierbit : uint32_t {
    modlshift = 0x10000,
    modrshift = 0x20000,
    modlctrl = 0x40000,
    modrctrl = 0x80000,
    modlalt = 0x100000,
    modralt = 0x200000,
    modshift = modlshift | modrshift,
    modctrl = modlctrl | modrctrl,
    modalt = modlalt | modralt,
};

// The keys that only set and clear a modifier bit.
struct modifierkey {
    int scan;
    uint32_t bit;
};
inline constexpr modifierkey modifierkeys[] = {
    {scanlshift, modlshift}, {scanrshift, modrshift}, {scanlctrl, modlctrl},
    {scanrctrl, modrctrl},   {scanlalt, modlalt},     {scanralt, modralt},
};

inline int keychar(uint32_t event) { return int(event & 0xFF); }
inline int keyscan(uint32_t event) { return int(event >> 8 & 0xFF); }
inline bool keyshift(uint32_t event) { return (event & modshift) != 0; }
inline bool keyctrl(uint32_t event) { return (event & modctrl) != 0; }
inline uint32_t makekey(int scan, int character, uint32_t modifiers)
{
    return uint32_t(scan & 0xFF) << 8 | uint32_t(character & 0xFF) | modifiers;
}

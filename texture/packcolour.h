// Channel values to a 32-bit colour word.
#pragma once
#include <cstdint>

// Designer: round to nearest (ties to even), clamp to 0..255, 0x00RRGGBB.
uint32_t packcolour(float r, float g, float b);

// Generator: values are in effect rounded down, clamped to 0..255, 0x80RRGGBB.
uint32_t packgencolour(float r, float g, float b);

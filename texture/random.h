// The library random: the linear congruential sequence behind the noise
// table and the designer's feature points. Implemented here, never taken
// from the platform, so every build draws the same numbers.
#pragma once
#include <cstdint>

struct libraryrandom {
    uint32_t state;     // 1 at program start; nothing reseeds it during a run
};

extern libraryrandom librandom;

// Next number, 0..32767: state = state * 214013 + 2531011 (mod 2^32).
int libraryrand();

// The same sequence from a state of the caller's, which it advances: the
// draws the program made, made again without touching the program's state.
int libraryrandfrom(libraryrandom &r);

// Back to the start-up state 1 (tests, and nothing else).
void resetlibraryrand();

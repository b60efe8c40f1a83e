#include "generator.h"

genrandomstate genrandom = {1};

void seedrandom(uint32_t value)
{
    genrandom.state = value;
}

int drawfrom(genrandomstate &r)
{
    r.state = r.state * 214013u + 2531011u;
    return int(r.state >> 16 & 32767);
}

int drawrandom()
{
    return drawfrom(genrandom);
}

// One step is s -> a s + c (mod 2^32); n steps are s -> A s + C with
// (A, C) built by squaring: two steps of (a, c) are (a a, a c + c).
void jumprandom(genrandomstate &r, uint64_t draws)
{
    uint32_t a = 214013u, c = 2531011u;
    uint32_t mul = 1, add = 0;
    for (; draws; draws >>= 1) {
        if (draws & 1) {
            mul *= a;
            add = add * a + c;
        }
        c = c * a + c;
        a *= a;
    }
    r.state = r.state * mul + add;
}

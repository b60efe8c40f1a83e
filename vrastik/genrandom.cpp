#include "generator.h"

genrandomstate genrandom = {1};

void seedrandom(uint32_t value)
{
    genrandom.state = value;
}

int drawrandom()
{
    genrandom.state = genrandom.state * 214013u + 2531011u;
    return int(genrandom.state >> 16 & 32767);
}

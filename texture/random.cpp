#include "random.h"

libraryrandom librandom = {1};

int libraryrandfrom(libraryrandom &r)
{
    r.state = r.state * 214013u + 2531011u;
    return int((r.state >> 16) & 0x7FFF);
}

int libraryrand()
{
    return libraryrandfrom(librandom);
}

void resetlibraryrand()
{
    librandom.state = 1;
}

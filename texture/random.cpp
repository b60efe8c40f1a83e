#include "random.h"

libraryrandom librandom = {1};

int libraryrand()
{
    librandom.state = librandom.state * 214013u + 2531011u;
    return int((librandom.state >> 16) & 0x7FFF);
}

void resetlibraryrand()
{
    librandom.state = 1;
}

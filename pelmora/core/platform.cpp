#include "platform.h"

platform host;

double readtime()
{
    return host.clock();
}

void requestclose()
{
    if (host.close)
        host.close();
}

// The C++ side of the run-time state: seeding, inspection, the flavour switch.
#include "codegen.h"
#include "runtime.h"

void setexprflavour(exprflavour f)
{
    cs.flavour = f;
}

void exprseed(int32_t seed)
{
    exprrandstate = 2u * (uint32_t)seed;
}

uint32_t exprrandomstate()
{
    return exprrandstate;
}

bool exprnormalpending()
{
    return exprnormalflag != 0;
}

double exprnormalvalue()
{
    return exprnormalcache;
}

void exprresetnormal()
{
    exprnormalflag = 0;
}

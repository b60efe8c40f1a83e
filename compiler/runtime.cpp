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

// The x87 control word around loops of exprcall: loaded only when it differs.
uint16_t exprcallsbegin()
{
    uint16_t saved, ours = 0x027F;
    asm volatile("fnstcw %0" : "=m"(saved));
    if (saved != ours)
        asm volatile("fldcw %0" : : "m"(ours));
    return saved;
}

void exprcallsend(uint16_t saved)
{
    uint16_t now;
    asm volatile("fnstcw %0" : "=m"(now));
    if (now != saved)
        asm volatile("fldcw %0" : : "m"(saved));
}

// The file chooser and these flows are not built yet: until they are, F2,
// F3 and F4 do nothing.
#include "flows.h"

void loadflow()
{
}

void saveflow()
{
}

void pngflow()
{
}

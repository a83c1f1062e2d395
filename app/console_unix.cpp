#include "console.h"

void useConsoleOfItsOwn()
{
}

void routeDebugLines()
{
}

// Exported calls that report on the library itself.
#include "PlavikMS.h"

extern "C" int PVKDravin(int) { return -11; }

#include "rig/reset.h"
void resetRig(RigState&) {} // STUB
